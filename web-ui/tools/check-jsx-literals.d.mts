export function jsxLiterals(source: string, fileName?: string): { line: number; text: string }[];
export function dashboardLiterals(files?: string[]): string[];
