// ag-psd doing Peelbox's job: every pixel layer as a PNG file and a GIF file.
//   node agpsd_rip.mjs DOCUMENT.psd OUTPUT_FOLDER
import { readFileSync, writeFileSync } from 'node:fs';
import { initializeCanvas, readPsd } from 'ag-psd';
import pngjs from 'pngjs';
import gifenc from 'gifenc';

const { PNG } = pngjs;
const { GIFEncoder, quantize, applyPalette } = gifenc;
const [source, folder] = process.argv.slice(2);
// Pixels only, no canvas: image data is a plain RGBA buffer.
initializeCanvas(
  () => {
    throw new Error('no canvas here');
  },
  (width, height) => ({ width, height, data: new Uint8ClampedArray(width * height * 4) }),
);
const psd = readPsd(readFileSync(source), { useImageData: true, skipCompositeImageData: true, skipThumbnail: true });

let count = 0;
function write(layer) {
  const { width, height, data } = layer.imageData;
  const rgba = Buffer.from(data.buffer, data.byteOffset, data.length);
  const png = new PNG({ width, height });
  png.data = rgba;
  writeFileSync(`${folder}/agpsd-${count}.png`, PNG.sync.write(png));
  const palette = quantize(data, 256, { format: 'rgba4444', oneBitAlpha: true });
  const gif = GIFEncoder();
  gif.writeFrame(applyPalette(data, palette, 'rgba4444'), width, height, { palette, transparent: true });
  gif.finish();
  writeFileSync(`${folder}/agpsd-${count}.gif`, gif.bytes());
  count++;
}

function walk(layers) {
  for (const layer of layers ?? []) {
    if (layer.children) walk(layer.children);
    else if (layer.imageData && layer.imageData.width > 0 && layer.imageData.height > 0) write(layer);
  }
}
walk(psd.children);
