// Bundles the page into the folder given as the first argument: index.html, app.js, app.css.
import { build } from 'esbuild';
import { copyFileSync, mkdirSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2];
if (!out) {
  console.error('usage: node build.mjs OUTPUT_FOLDER');
  process.exit(2);
}
mkdirSync(out, { recursive: true });
await build({
  entryPoints: { app: join(here, 'src/main.js') },
  bundle: true,
  minify: true,
  format: 'iife',
  target: 'es2020',
  outdir: out,
  logLevel: 'warning',
});
copyFileSync(join(here, 'src/index.html'), join(out, 'index.html'));
