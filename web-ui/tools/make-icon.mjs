// Draws the bell icon with Chromium and packs it as public/favicon.ico, which is also the tray
// icon. Small sizes are stored as 32-bit bitmaps (read by every Windows icon loader), 256 px as PNG.
// Run: node tools/make-icon.mjs   (needs /usr/bin/chromium)
import { writeFileSync } from 'node:fs';
import { chromium } from 'playwright-core';

const SVG = `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 64 64">
  <rect x="2" y="2" width="60" height="60" rx="14" fill="#0b5cad"/>
  <path d="M32 10c-2 0-3.5 1.5-3.5 3.4v1.2C21 16.2 17 22.6 17 30v10l-5 6v2h40v-2l-5-6V30c0-7.4-4-13.8-11.5-15.4v-1.2C35.5 11.5 34 10 32 10z" fill="#ffd33d"/>
  <circle cx="32" cy="52.5" r="5" fill="#ffd33d"/>
</svg>`;

const BITMAP_SIZES = [16, 24, 32, 48, 64];
const PNG_SIZE = 256;

/** A 32-bit bottom-up DIB with its (all-zero) AND mask, as an icon entry stores it. */
function dib(size, rgba) {
  const header = Buffer.alloc(40);
  header.writeUInt32LE(40, 0);
  header.writeInt32LE(size, 4);
  header.writeInt32LE(size * 2, 8);
  header.writeUInt16LE(1, 12);
  header.writeUInt16LE(32, 14);
  const pixels = Buffer.alloc(size * size * 4);
  for (let y = 0; y < size; y++) {
    for (let x = 0; x < size; x++) {
      const src = (y * size + x) * 4;
      const dst = ((size - 1 - y) * size + x) * 4;
      pixels[dst] = rgba[src + 2];
      pixels[dst + 1] = rgba[src + 1];
      pixels[dst + 2] = rgba[src];
      pixels[dst + 3] = rgba[src + 3];
    }
  }
  const maskRow = Math.ceil(size / 32) * 4;
  return Buffer.concat([header, pixels, Buffer.alloc(maskRow * size)]);
}

const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
const images = [];
try {
  const page = await browser.newPage();
  await page.setContent('<html><body style="margin:0;background:transparent"></body></html>');
  for (const size of BITMAP_SIZES) {
    const rgba = await page.evaluate(
      async ({ svg, size }) => {
        const img = new Image();
        img.src = `data:image/svg+xml;base64,${btoa(svg)}`;
        await img.decode();
        const canvas = document.createElement('canvas');
        canvas.width = canvas.height = size;
        const ctx = canvas.getContext('2d');
        ctx.drawImage(img, 0, 0, size, size);
        return Array.from(ctx.getImageData(0, 0, size, size).data);
      },
      { svg: SVG, size },
    );
    images.push({ size, data: dib(size, rgba), bpp: 32 });
  }
  await page.setViewportSize({ width: PNG_SIZE, height: PNG_SIZE });
  await page.setContent(`<html><body style="margin:0;background:transparent">${SVG.replace('<svg ', `<svg width="${PNG_SIZE}" height="${PNG_SIZE}" `)}</body></html>`);
  images.push({ size: PNG_SIZE, data: await page.screenshot({ omitBackground: true, type: 'png' }), bpp: 32 });
} finally {
  await browser.close();
}

const header = Buffer.alloc(6);
header.writeUInt16LE(1, 2);
header.writeUInt16LE(images.length, 4);
let offset = 6 + 16 * images.length;
const entries = images.map(({ size, data, bpp }) => {
  const e = Buffer.alloc(16);
  e.writeUInt8(size >= 256 ? 0 : size, 0);
  e.writeUInt8(size >= 256 ? 0 : size, 1);
  e.writeUInt16LE(1, 4);
  e.writeUInt16LE(bpp, 6);
  e.writeUInt32LE(data.length, 8);
  e.writeUInt32LE(offset, 12);
  offset += data.length;
  return e;
});
const out = new URL('../public/favicon.ico', import.meta.url);
writeFileSync(out, Buffer.concat([header, ...entries, ...images.map((i) => i.data)]));
console.log(`wrote ${out.pathname} (${offset} bytes)`);
