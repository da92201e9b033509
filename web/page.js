// What the page shows around the program: the canvas it draws into, the
// title it sets (SDL's window caption), and a line below when it ends: the
// demo ended by a key, or the message the native program would print on
// standard error. The page's state is in <body data-state>: "running",
// then "ended", "drawn" (a ?ticks=N still) or "failed".
var Module = (function () {
  var status = document.getElementById('status');
  var errors = [];
  var still = new URLSearchParams(location.search).has('ticks');

  function finish(state, text) {
    document.body.dataset.state = state;
    status.textContent = text;
  }

  document.body.dataset.state = 'running';
  return {
    canvas: document.getElementById('canvas'),
    print: function () {},  // SDL's notes on standard output
    printErr: function (text) { errors.push(text); },
    onExit: function (code) {
      if (code !== 0)
        finish('failed', errors.join('\n') || 'The demo stopped with status ' + code + '.');
      else if (still)
        finish('drawn', '');
      else
        finish('ended', 'The demo has ended. Reload the page to start it again.');
    },
    onAbort: function (what) { finish('failed', 'The demo stopped: ' + what); }
  };
})();
