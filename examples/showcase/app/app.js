// Fills in what the page can learn about its host through the window.ryx bridge.
(function () {
  function show(id, text) { document.getElementById(id).textContent = text; }
  if (!window.ryx) {
    show('host', 'no bridge (opened outside the runtime)');
    show('runtime', 'no');
    return;
  }
  window.ryx.hello().then(function (version) { show('host', 'Velmora bridge ' + version); });
  window.ryx.isRuntime().then(function (yes) { show('runtime', yes ? 'yes' : 'no'); });
})();
