// Runs before the program: its bitmaps, fetched from beside the page, go
// into Emscripten's file system, where the program opens them from its
// working directory. A bitmap that cannot be fetched is left out, and the
// program reports it as natively ("Can't load texture!!!…"). ?ticks=N on
// the page's address becomes the option --ticks N.
Module['preRun'] = [function () {
  ['organ.bmp', 'veins.bmp'].forEach(function (name) {
    addRunDependency(name);
    fetch(name)
      .then(function (response) { return response.ok ? response.arrayBuffer() : null; })
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
