// One frame of vornel_layered's GPU work in plain WebGL, at every animation
// frame: the layer's own shaders, the scene's mesh at 5 s (8,320 vertices
// and 16,640 triangles with 32-bit indices, as the program draws them),
// two passes that each upload positions, normals, colours, texture
// coordinates and indices, the two 256 x 256 bitmaps as textures, blending
// on the second pass. The canvas's backing store covers its device pixels
// and the picture is 4:3 and centred, as the layer does it.
// Nothing else: what the demo takes beyond this is the price of the
// program and the layer. bench.mjs serves it with mesh.bin, shaders.json
// and the bitmaps.
const canvas = document.getElementById('canvas');
const gl = canvas.getContext('webgl', { antialias: false, alpha: false, depth: true, stencil: false });
gl.getExtension('OES_element_index_uint');

const VERTICES = 8320, RINGS = 128, BANDS = 64;
const T = 5000 * 0.03;  // the scene time at 5 s

function compile(type, source) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, source);
  gl.compileShader(shader);
  return shader;
}

// The program's index pattern: quads from ring r to the next, rings BANDS
// indices apart.
function indices() {
  const list = new Uint32Array(RINGS * (BANDS + 1) * 6);
  let k = 0;
  for (let r = 0; r < RINGS; r++)
    for (let s = 0; s <= BANDS; s++) {
      const a = r * BANDS + s;
      list.set([a + BANDS + 1, a + BANDS, a, a, a + 1, a + BANDS + 1], k);
      k += 6;
    }
  return list;
}

// A 24-bit bitmap as RGBA, bottom row first, black transparent.
function pixels(bytes) {
  const view = new DataView(bytes), offset = view.getUint32(10, true);
  const width = view.getInt32(18, true), height = view.getInt32(22, true);
  const source = new Uint8Array(bytes, offset), rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; i++) {
    const [b, g, r] = source.subarray(3 * i, 3 * i + 3);
    rgba.set([r, g, b, r | g | b ? 255 : 0], 4 * i);
  }
  return { width, height, rgba };
}

function texture(bitmap) {
  const name = gl.createTexture();
  gl.bindTexture(gl.TEXTURE_2D, name);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
  gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
  gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGBA, bitmap.width, bitmap.height, 0, gl.RGBA, gl.UNSIGNED_BYTE, bitmap.rgba);
  return name;
}

// gluLookAt from the eye on its circle at T towards (0, 0, -10), y up.
function camera() {
  const theta = T * 2 * Math.PI / 128;
  const eye = [Math.cos(theta) * 2.8, Math.sin(theta) * 2.8, 0];
  const f = [-eye[0], -eye[1], -10 - eye[2]], length = Math.hypot(...f);
  f.forEach((v, i) => { f[i] = v / length; });
  const s = [f[1] * 0 - f[2] * 1, f[2] * 0 - f[0] * 0, f[0] * 1 - f[1] * 0], ls = Math.hypot(...s);
  s.forEach((v, i) => { s[i] = v / ls; });
  const u = [s[1] * f[2] - s[2] * f[1], s[2] * f[0] - s[0] * f[2], s[0] * f[1] - s[1] * f[0]];
  const m = [s[0], u[0], -f[0], 0, s[1], u[1], -f[1], 0, s[2], u[2], -f[2], 0, 0, 0, 0, 1];
  for (let row = 0; row < 3; row++)
    m[12 + row] = -(m[row] * eye[0] + m[4 + row] * eye[1] + m[8 + row] * eye[2]);
  return m;
}

function perspective() {
  const c = 1 / Math.tan(45 / 2 * Math.PI / 180), near = 1, far = 200;
  return [c / (4 / 3), 0, 0, 0, 0, c, 0, 0, 0, 0, -(far + near) / (far - near), -1,
          0, 0, -2 * near * far / (far - near), 0];
}

async function start() {
  const [mesh, shaders, organ, veins] = await Promise.all(
    ['mesh.bin', 'shaders.json', 'organ.bmp', 'veins.bmp'].map(name => fetch(name)));
  const floats = new Float32Array(await mesh.arrayBuffer());
  const { vertex, fragment } = await shaders.json();
  const n = VERTICES;
  const arrays = [floats.subarray(0, 3 * n), floats.subarray(3 * n, 6 * n), floats.subarray(6 * n, 9 * n),
                  floats.subarray(9 * n, 11 * n)];
  const shifted = arrays[3].slice();
  for (let i = 1; i < shifted.length; i += 2) shifted[i] += T * 5 / 128;
  const index = indices();
  const textures = [texture(pixels(await organ.arrayBuffer())), texture(pixels(await veins.arrayBuffer()))];

  const program = gl.createProgram();
  gl.attachShader(program, compile(gl.VERTEX_SHADER, vertex));
  gl.attachShader(program, compile(gl.FRAGMENT_SHADER, fragment));
  ['position', 'normal', 'color', 'texcoord'].forEach((name, i) => gl.bindAttribLocation(program, i, name));
  gl.linkProgram(program);
  gl.useProgram(program);
  const at = name => gl.getUniformLocation(program, name);
  const modelview = camera();
  gl.uniformMatrix4fv(at('modelview'), false, modelview);
  gl.uniformMatrix4fv(at('projection'), false, perspective());
  gl.uniformMatrix3fv(at('normal_matrix'), false, [0, 1, 2, 4, 5, 6, 8, 9, 10].map(i => modelview[i]));
  gl.uniform1i(at('lighting'), 1);
  gl.uniform1i(at('color_material'), 1);
  gl.uniform1i(at('texturing'), 1);
  gl.uniform4fv(at('light_position'), [0, 0, -113, 1]);
  gl.uniform4fv(at('light_ambient'), [0.3, 0.3, 0.3, 1]);
  gl.uniform4fv(at('light_diffuse'), [0.3, 0.9, 0.7, 1]);
  gl.uniform4fv(at('light_specular'), [1, 1, 1, 1]);
  gl.uniform4fv(at('material_specular'), [1, 1, 1, 1]);
  gl.uniform4fv(at('scene_ambient'), [0.5, 0.5, 0.5, 1]);
  gl.uniform1f(at('shininess'), 50);
  gl.uniform1i(at('texture'), 0);
  const buffers = [0, 1, 2, 3, 4].map(() => gl.createBuffer());
  gl.clearColor(0, 0, 0, 0);
  gl.enable(gl.DEPTH_TEST);
  gl.depthFunc(gl.LEQUAL);
  gl.blendFunc(gl.SRC_ALPHA, gl.ONE_MINUS_SRC_ALPHA);

  function pass(texcoords, name) {
    [arrays[0], arrays[1], arrays[2], texcoords].forEach((array, i) => {
      gl.bindBuffer(gl.ARRAY_BUFFER, buffers[i]);
      gl.bufferData(gl.ARRAY_BUFFER, array, gl.STREAM_DRAW);
      gl.enableVertexAttribArray(i);
      gl.vertexAttribPointer(i, i === 3 ? 2 : 3, gl.FLOAT, false, 0, 0);
    });
    gl.bindTexture(gl.TEXTURE_2D, name);
    gl.bindBuffer(gl.ELEMENT_ARRAY_BUFFER, buffers[4]);
    gl.bufferData(gl.ELEMENT_ARRAY_BUFFER, index, gl.STREAM_DRAW);
    gl.drawElements(gl.TRIANGLES, index.length, gl.UNSIGNED_INT, 0);
  }

  // The backing store covers the canvas's device pixels, as the layer's.
  let devicePixels = null;
  try {
    new ResizeObserver(entries => {
      const size = entries[0].devicePixelContentBoxSize;
      if (size) devicePixels = [size[0].inlineSize, size[0].blockSize];
    }).observe(canvas, { box: 'device-pixel-content-box' });
  } catch {}

  function frame() {
    const box = canvas.getBoundingClientRect();
    const exact = [box.width * devicePixelRatio, box.height * devicePixelRatio];
    const counted = devicePixels && Math.abs(devicePixels[0] - exact[0]) < 1 && Math.abs(devicePixels[1] - exact[1]) < 1;
    const [width, height] = (counted ? devicePixels : exact.map(Math.round)).map(n => Math.max(1, n));
    if (canvas.width !== width) canvas.width = width;
    if (canvas.height !== height) canvas.height = height;
    const scale = Math.min(width / 640, height / 480);
    gl.viewport(Math.round((width - 640 * scale) / 2), Math.round((height - 480 * scale) / 2),
                Math.round(640 * scale), Math.round(480 * scale));
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    pass(arrays[3], textures[0]);
    gl.enable(gl.BLEND);
    pass(shifted, textures[1]);
    gl.disable(gl.BLEND);
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
}

start();
