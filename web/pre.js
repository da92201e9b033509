// Runs before the program: its bitmaps go into Emscripten's file system,
// where the program opens them from its working directory. They come from
// the page's Module.fetchFile (a promise of the bytes, or of null), which
// may have started fetching them long before; without one, from beside
// the page. A bitmap that cannot be had is left out, and the program
// reports it as natively ("Can't load texture!!!…"). `bitmaps`, the
// program's own list, comes before this file (web/CMakeLists.txt).
// ?ticks=N on the page's address becomes the option --ticks N.
Module['preRun'] = [function () {
  function fetchHere(name) {
    return fetch(name).then(function (response) { return response.ok ? response.arrayBuffer() : null; });
  }
  bitmaps.forEach(function (name) {
    addRunDependency(name);
    Promise.resolve()
      .then(function () { return (Module['fetchFile'] || fetchHere)(name); })
      .then(function (bytes) { if (bytes) FS.writeFile(name, new Uint8Array(bytes)); })
      .catch(function () {})
      .finally(function () { removeRunDependency(name); });
  });
}];

(function () {
  var ticks = new URLSearchParams(location.search).get('ticks');
  if (ticks !== null)
    Module['arguments'] = ['--ticks', ticks];
})();

// Emscripten's abort tells the page why (Module.onAbort) and then throws,
// to leave the program, an error whose text ends with a hint for the
// developers of the build ("Build with -s ASSERTIONS=1..."). Once the
// page has been told, that error is nobody's to catch: it is kept from
// the console's uncaught errors.
(function () {
  var emscriptenAbort = abort;
  var ending = null;
  abort = function (what) {
    try {
      emscriptenAbort(what);
    } catch (error) {
      ending = error;
      throw error;
    }
  };
  function quiet(event, thrown) {
    if (ending !== null && thrown === ending) event.preventDefault();
  }
  addEventListener('error', function (event) { quiet(event, event.error); });
  addEventListener('unhandledrejection', function (event) { quiet(event, event.reason); });
})();
