// SPDX-License-Identifier: MIT
// The plug-ins' editor form on a <canvas>: orvo.wasm paints it into a list
// of drawing commands (web/editor/DisplayList.h says what each one is) and
// this replays the list; pointer input goes the other way, in the canvas's
// backing-store pixels. The backing store is the form at the page's device
// pixel ratio (1..3), shown at the form's 1x size, so it stays sharp.

const kBegin = 1, kEnd = 2, kRect = 3, kFillEllipse = 4, kStrokeEllipse = 5, kArc = 6, kLine = 7, kPixels = 8,
  kText = 9, kImage = 10;
const kTimerMs = 100;  // the form's own timer period
const css = (rgb) => `#${rgb.toString(16).padStart(6, '0')}`;
const radians = (sixtyFourths) => (sixtyFourths / 64) * (Math.PI / 180);

export class Editor {
  // `onEdit(index, value)` for every value the user sets through the form.
  constructor(orvo, model, canvas, onEdit) {
    this.orvo = orvo;
    this.x = orvo.x;
    this.model = model;
    this.canvas = canvas;
    this.onEdit = onEdit;
    this.context = canvas.getContext('2d');
    this.images = new Map();
    this.decoder = new TextDecoder();
    this.handle = 0;
    this.open();
    this.followScale();
    for (const type of ['pointerdown', 'pointermove', 'pointerup']) canvas.addEventListener(type, (e) => this.pointer(e));
    setInterval(() => this.tick(), kTimerMs);
  }

  scaleNow() { return Math.min(3, Math.max(1, devicePixelRatio || 1)); }

  // A form at the current scale; the old one (if any) goes.
  open() {
    if (this.handle) this.x.orvo_editor_delete(this.handle);
    this.scale = this.scaleNow();
    this.handle = this.x.orvo_editor_new(this.model.handle, this.scale);
    this.canvas.width = this.x.orvo_editor_width(this.handle);
    this.canvas.height = this.x.orvo_editor_height(this.handle);
    this.images.clear();
    this.paint();
  }

  // Zooming or moving to another screen changes the pixel ratio: the form
  // is made again at the new scale, as a native editor is for a new DPI.
  followScale() {
    // Kept, or the query could be collected with its listener.
    this.scaleQuery = matchMedia(`(resolution: ${devicePixelRatio}dppx)`);
    this.scaleQuery.addEventListener('change', () => {
      if (this.scaleNow() !== this.scale) this.open();
      this.followScale();
    }, { once: true });
  }

  // Values changed elsewhere (programs, presets) show without waiting for
  // the timer.
  tick() {
    this.x.orvo_editor_tick(this.handle);
    this.update();
  }

  pointer(e) {
    if (e.pointerType === 'mouse' && e.button > 0) return;
    const what = e.type === 'pointerdown' ? 0 : e.type === 'pointermove' ? 1 : 2;
    if (what === 0) this.canvas.setPointerCapture(e.pointerId);
    const box = this.canvas.getBoundingClientRect();
    const x = Math.floor((e.clientX - box.left) * (this.canvas.width / box.width));
    const y = Math.floor((e.clientY - box.top) * (this.canvas.height / box.height));
    this.x.orvo_editor_pointer(this.handle, what, x, y, e.buttons & 1 || what === 0 ? 1 : 0);
    e.preventDefault();
    this.update();
  }

  update() {
    const x = this.x;
    const count = x.orvo_editor_edit_count(this.handle);
    for (let i = 0; i < count; ++i)
      this.onEdit(x.orvo_editor_edit_index(this.handle, i), x.orvo_editor_edit_value(this.handle, i));
    x.orvo_editor_edits_clear(this.handle);
    this.paint();
  }

  paint() {
    const size = this.x.orvo_editor_paint(this.handle);
    if (!size) return;
    const words = new Int32Array(this.orvo.memory, this.x.orvo_editor_list(this.handle), size);
    const g = this.context;
    for (let at = 0; at < size;) {
      const op = words[at++];
      if (op === kBegin) {
        const [l, t, w, h] = words.subarray(at, at += 4);
        g.save();
        g.translate(l, t);
        g.beginPath();
        g.rect(0, 0, w, h);
        g.clip();
      } else if (op === kEnd) {
        g.restore();
      } else if (op === kRect) {
        const [c, l, t, w, h] = words.subarray(at, at += 5);
        g.fillStyle = css(c);
        g.fillRect(l, t, w, h);
      } else if (op === kFillEllipse) {
        const [c, l, t, w, h] = words.subarray(at, at += 5);
        g.fillStyle = css(c);
        g.beginPath();
        g.ellipse(l + w / 2, t + h / 2, w / 2, h / 2, 0, 0, 2 * Math.PI);
        g.fill();
      } else if (op === kStrokeEllipse || op === kArc) {
        const n = op === kArc ? 8 : 6;
        const [c, lw, l, t, w, h, start, extent] = words.subarray(at, at += n);
        g.strokeStyle = css(c);
        g.lineWidth = lw;
        g.beginPath();
        // Through pixel centres, as a drawn arc is; canvas angles turn clockwise.
        if (op === kArc) g.ellipse(l + 0.5 + w / 2, t + 0.5 + h / 2, w / 2, h / 2, 0, -radians(start), -radians(start + extent), true);
        else g.ellipse(l + 0.5 + w / 2, t + 0.5 + h / 2, w / 2, h / 2, 0, 0, 2 * Math.PI);
        g.stroke();
      } else if (op === kLine) {
        const [c, lw, x1, y1, x2, y2] = words.subarray(at, at += 6);
        g.strokeStyle = css(c);
        g.lineWidth = lw;
        g.lineCap = 'round';
        g.beginPath();
        g.moveTo(x1 + 0.5, y1 + 0.5);
        g.lineTo(x2 + 0.5, y2 + 0.5);
        g.stroke();
      } else if (op === kPixels) {
        const c = words[at++], n = words[at++];
        g.fillStyle = css(c);
        for (let i = 0; i < n; ++i, at += 2) g.fillRect(words[at], words[at + 1], 1, 1);
      } else if (op === kText) {
        const [c, left, baseline, px, back, pad, backTop, backHeight, length] = words.subarray(at, at += 9);
        const bytes = new Uint8Array(words.buffer, words.byteOffset + 4 * at, length);
        at += (length + 3) >> 2;
        const text = this.decoder.decode(bytes);
        g.font = `${px}px "Times New Roman", serif`;
        if (back >= 0) {
          g.fillStyle = css(back);
          g.fillRect(left - pad, backTop, Math.ceil(g.measureText(text).width) + 2 * pad, backHeight);
        }
        g.fillStyle = css(c);
        g.textBaseline = 'alphabetic';
        g.fillText(text, left, baseline);
      } else if (op === kImage) {
        const [l, t, w, h, address] = words.subarray(at, at += 5);
        g.drawImage(this.image(address, w, h), l, t);
      } else {
        throw new Error(`editor: unknown drawing command ${op}`);
      }
    }
  }

  // A picture's 0xRRGGBB words as a canvas of its own, made once: drawImage
  // honours the clip and origin, which putImageData would not.
  image(address, w, h) {
    const key = `${address}:${w}x${h}`;
    if (this.images.has(key)) return this.images.get(key);
    const source = new Uint32Array(this.orvo.memory, address, w * h);
    const pixels = new ImageData(w, h);
    for (let i = 0; i < w * h; ++i) {
      const p = source[i];
      pixels.data.set([(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff, 0xff], 4 * i);
    }
    const picture = Object.assign(document.createElement('canvas'), { width: w, height: h });
    picture.getContext('2d').putImageData(pixels, 0, 0);
    this.images.set(key, picture);
    return picture;
  }
}
