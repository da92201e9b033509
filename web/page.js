// The page around the program: it fetches the program's files at once
// and shows how far it got, starts the program (Emscripten's Module,
// made here), shows its caption and its messages, lets the browser keep
// its own keys, and gives a mouse or touch visitor Stop, Start and Full
// screen. The files and the program come from <body data-program> and
// <body data-bitmaps>. The page's state is in <body data-state>:
// "loading", "waiting" (for Start, where motion is reduced), "running",
// then "ended", "drawn" (a ?ticks=N still) or "failed".
(function () {
  var body = document.body;
  var address = new URLSearchParams(location.search);
  var program = body.dataset.program;
  var still = address.has('ticks');
  // How long a file may send nothing before the page gives up on it, in
  // seconds; ?wait=N sets another (the tests' stalled files).
  var patience = Number(address.get('wait')) > 0 ? Number(address.get('wait')) : 30;

  function element(id) { return document.getElementById(id); }
  var stage = element('stage');
  var caption = element('caption');
  var status = element('status');
  var startButton = element('start');
  var stopButton = element('stop');
  var fullScreenButton = element('fullscreen');

  var problems = [];  // what went wrong while loading, then the program's own words

  function setState(state) {
    body.dataset.state = state;
    status.setAttribute('aria-busy', state === 'loading');  // announce the outcome, not each step
    stopButton.hidden = state !== 'running';
    startButton.hidden = state !== 'waiting' && state !== 'ended';
    startButton.textContent = state === 'ended' ? 'Start again' : 'Start';
  }

  function say(text) { status.textContent = text; }

  function fail(text) {
    if (text) problems.push(text);
    setState('failed');
    say(problems.join('\n'));
  }

  // ---- Loading -------------------------------------------------------------

  var downloads = {};

  function showProgress() {
    if (body.dataset.state !== 'loading') return;
    var names = Object.keys(downloads), done = 0, bytes = 0;
    names.forEach(function (name) {
      done += downloads[name].done ? 1 : 0;
      bytes += downloads[name].received;
    });
    say('Loading: ' + done + ' of ' + names.length + ' files, ' + Math.round(bytes / 1000) + ' kB');
  }

  // Each file lies beside the page twice: as it is and gzipped (NAME.gz),
  // at about half the bytes. Where the browser can gunzip, the page fetches
  // the gzipped one, falling back on the file as it is where a site lacks
  // it; a server that has gunzipped it on the way (Content-Encoding) hands
  // over the file as it is, which does not start as gzip does.
  var gzipped = typeof DecompressionStream === 'function';

  function isGzip(bytes) {
    var start = new Uint8Array(bytes, 0, Math.min(2, bytes.byteLength));
    return start[0] === 0x1f && start[1] === 0x8b;
  }

  function gunzip(bytes) {
    if (!isGzip(bytes)) return bytes;
    return new Response(new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip')))
      .arrayBuffer();
  }

  // The file's bytes, or null once it has failed or sent nothing for
  // `patience` seconds; the reason joins the page's problems. Each file is
  // fetched once: the <link rel=preload> in the page has usually started it.
  function download(name) {
    if (downloads[name]) return downloads[name].bytes;
    var entry = downloads[name] = { received: 0, done: false };
    var abort = new AbortController();
    var why = 'the network failed';
    var timer;
    function wait() {
      clearTimeout(timer);
      timer = setTimeout(function () {
        why = 'nothing arrived for ' + patience + ' seconds';
        abort.abort();
      }, patience * 1000);
    }
    function read(reader, parts) {
      return reader.read().then(function (part) {
        if (part.done) return new Blob(parts).arrayBuffer();
        wait();
        parts.push(part.value);
        entry.received += part.value.length;
        showProgress();
        return read(reader, parts);
      });
    }
    function get(address) {
      return fetch(address, { signal: abort.signal }).then(function (response) {
        if (!response.ok) {
          why = 'the server answered ' + response.status + ' ' + response.statusText;
          throw new Error(why);
        }
        return read(response.body.getReader(), []);
      });
    }
    wait();
    var bytes = gzipped ? get(name + '.gz').then(gunzip, function () {
      if (abort.signal.aborted) throw new Error(why);
      return get(name);
    }) : get(name);
    entry.bytes = bytes.then(function (bytes) {
      clearTimeout(timer);
      entry.done = true;
      showProgress();
      return bytes;
    }, function () {
      clearTimeout(timer);
      problems.push('Could not load ' + name + ': ' + why.trim() + '.');
      return null;
    });
    return entry.bytes;
  }

  var files = [program + '.js', program + '.wasm'].concat(body.dataset.bitmaps.split(' '));
  files.forEach(download);

  // ---- Keys ------------------------------------------------------------------

  // Keys the browser itself uses keep their job, and a key meant for a
  // focused button or link goes to it; every other key reaches the
  // program (SDL listens on the document), which ends on any key, as
  // natively. Once the program has ended, or failed, no key reaches it: its
  // listeners would otherwise go on cancelling Tab, F5 and the rest.
  function forTheBrowser(event) {
    if (body.dataset.state !== 'running') return true;
    if (event.ctrlKey || event.altKey || event.metaKey) return true;
    if (event.key === 'F5' || event.key === 'F11' || event.key === 'F12') return true;
    if (event.key === 'Escape' && fullScreenElement()) return true;
    var control = event.target.closest && event.target.closest('button, a');
    return !!control && (event.key === 'Enter' || event.key === ' ');
  }

  ['keydown', 'keypress', 'keyup'].forEach(function (type) {
    window.addEventListener(type, function (event) {
      if (forTheBrowser(event)) event.stopImmediatePropagation();
    }, true);
  });

  // The program reads no mouse or touch, but Emscripten's SDL listens for
  // them on the canvas and cancels touches: a finger on the picture could
  // neither scroll the page nor double-tap it.
  ['touchstart', 'touchmove', 'touchend', 'mousedown', 'mouseup', 'mousemove', 'wheel',
   'mousewheel', 'DOMMouseScroll', 'mouseout'].forEach(function (type) {
    stage.addEventListener(type, function (event) { event.stopPropagation(); }, true);
  });

  // ---- Controls --------------------------------------------------------------

  // Stop ends the run as a key does: a key press where SDL listens.
  stopButton.addEventListener('click', function () {
    document.dispatchEvent(new KeyboardEvent('keydown', { key: 'q', code: 'KeyQ', keyCode: 81, bubbles: true }));
  });

  startButton.addEventListener('click', function () { start(); });

  function fullScreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement;
  }

  // The picture and its caption fill the screen; the layer draws the
  // program's 4:3 frame centred, with black bars.
  function toggleFullScreen() {
    if (fullScreenElement())
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    else
      (stage.requestFullscreen || stage.webkitRequestFullscreen).call(stage);
  }

  if ((document.fullscreenEnabled || document.webkitFullscreenEnabled) && !still) {
    fullScreenButton.hidden = false;
    fullScreenButton.addEventListener('click', toggleFullScreen);
    stage.addEventListener('dblclick', toggleFullScreen);
  }

  // ---- The program -----------------------------------------------------------

  function plain(what) {
    return String(what) === 'OOM' ? 'it ran out of memory' : 'something went wrong inside it (' + what + ')';
  }

  function newModule(wasm) {
    var canvas = element('canvas');
    return {
      canvas: canvas,
      print: function () {},  // SDL's notes on standard output
      printErr: function (text) { problems.push(text); },
      fetchFile: download,
      instantiateWasm: function (imports, receive) {
        WebAssembly.instantiate(wasm, imports).then(function (result) {
          receive(result.instance, result.module);
        }, function (error) {
          fail('This browser could not start the program: ' + error.message);
        });
        return {};
      },
      onRuntimeInitialized: function () {
        setState('running');
        say('');
      },
      onCaption: function (text) { caption.textContent = text; },
      onContextLost: function () {
        say('The browser has taken the picture\'s WebGL context away: the demo waits until it gives it back.');
      },
      onContextRestored: function () { say(''); },
      onExit: function (code) {
        if (code !== 0)
          fail(problems.length ? '' : 'The demo stopped with status ' + code + '.');
        else if (still)
          setState('drawn');
        else {
          setState('ended');
          say('The demo has ended.');
        }
      },
      onAbort: function (what) { fail('The demo stopped: ' + plain(what) + '.'); }
    };
  }

  // Runs the program's script, the first time and after each end: a new
  // Module and a new canvas (the old one keeps its context), the same
  // downloaded files.
  function start() {
    setState('loading');
    problems = [];
    showProgress();
    Promise.all([download(program + '.js'), download(program + '.wasm')]).then(function (code) {
      if (!code[0] || !code[1]) {
        fail('The demo cannot start.');
        return;
      }
      var old = element('canvas');
      old.parentNode.replaceChild(old.cloneNode(true), old);
      caption.textContent = '';
      // The script's own variables live in a function of their own, so that
      // each run starts them afresh: at the top level a second run would
      // find the first one's (`var calledRun;` keeps its value).
      window.Module = newModule(code[1]);
      var script = document.createElement('script');
      script.textContent = '(function (Module) {' + new TextDecoder().decode(code[0]) +
                           '\n})(window.Module);';
      body.appendChild(script);
    });
  }

  if (still)
    body.classList.add('still');
  if (!still && matchMedia('(prefers-reduced-motion: reduce)').matches) {
    setState('waiting');
    say('This device asks for less motion, so the demo waits: Start runs it.');
  } else {
    start();
  }
})();
