import { defineConfig } from 'vitest/config';

// The player serves dist/ itself; during `npm run dev` the API calls go to a running player.
export default defineConfig({
  esbuild: { jsx: 'automatic', jsxImportSource: 'preact' },
  build: { target: 'es2020', assetsInlineLimit: 0, reportCompressedSize: true },
  server: {
    proxy: Object.fromEntries(
      ['/api', '/auth', '/db', '/upload', '/get_signal_file', '/whoami'].map((p) => [
        p,
        { target: process.env.VELTRANO_URL ?? 'http://localhost:2233', changeOrigin: false },
      ]),
    ),
  },
  test: { environment: 'node', include: ['src/**/*.test.ts'] },
});
