// The showcase page: every bridge command this runtime offers, one button each, with a log.
(function () {
  var logBox = document.getElementById('log');

  function log(text) {
    logBox.textContent = new Date().toLocaleTimeString() + '  ' + text + '\n' + logBox.textContent;
  }

  function show(name, promise) {
    return promise.then(function (result) {
      log(name + ' → ' + JSON.stringify(result));
      return result;
    }, function (error) {
      log(name + ' failed: ' + error);
      throw error;
    });
  }

  if (!window.ryx) {
    log('No bridge: this page is not running inside the Velmora runtime.');
    return;
  }

  var commands = {
    'set-title': function () {
      return show('window.setTitle', ryx.window.setTitle({ title: document.getElementById('title').value }));
    },
    'get-title': function () { return show('window.getTitle', ryx.window.getTitle()); },
    'ontop': function () { return show('window.setStyle ontop', ryx.window.setStyle({ style: 'ontop' })); },
    'normal-style': function () { return show('window.setStyle normal', ryx.window.setStyle({ style: 'normal' })); },
    'get-style': function () { return show('window.getStyle', ryx.window.getStyle()); },
    'minimize': function () { return show('window.setState minimized', ryx.window.setState({ state: 'minimized' })); },
    'maximize': function () { return show('window.setState maximized', ryx.window.setState({ state: 'maximized' })); },
    'restore': function () { return show('window.setState normal', ryx.window.setState({ state: 'normal' })); },
    'get-state': function () { return show('window.getState', ryx.window.getState()); },
    // Entering and leaving full screen send no reply.
    'fullscreen': function () { ryx.app.enterFullscreen(); log('app.enterFullscreen sent'); },
    'exit-fullscreen': function () { ryx.app.exitFullscreen(); log('app.exitFullscreen sent'); },
    'in-fullscreen': function () { return show('app.inFullscreen', ryx.app.inFullscreen()); },
    // A new window on an app page starts a second instance of the app showing it.
    'new-window': function () { window.open('pages/about.html', '_blank'); log('window.open pages/about.html'); },
    'close': function () { ryx.app.close(); }
  };

  document.addEventListener('click', function (event) {
    var name = event.target.getAttribute && event.target.getAttribute('data-cmd');
    if (name && commands[name]) {
      commands[name]();
    }
  });

  // The close button of the window asks the page first.
  ryx.events.onCloseQuery = function () {
    if (!document.getElementById('confirm-close').checked || window.confirm('Close the showcase?')) {
      ryx.app.close();
    }
  };

  var checks = [
    ['Bridge version', function () { return ryx.hello(); }],
    ['Packaged runtime', function () { return ryx.isRuntime(); }],
    ['Window title', function () { return ryx.window.getTitle(); }],
    ['Window order', function () { return ryx.window.getStyle(); }],
    ['Window state', function () { return ryx.window.getState(); }],
    ['Full screen', function () { return ryx.app.inFullscreen(); }],
    ['Page served from', function () { return Promise.resolve(location.href); }],
    ['Style sheet type', function () {
      return fetch('style.css').then(function (r) { return r.headers.get('content-type'); });
    }]
  ];

  document.getElementById('run-all').addEventListener('click', function () {
    var body = document.querySelector('#checks tbody');
    body.textContent = '';
    checks.forEach(function (check) {
      var row = body.insertRow();
      row.insertCell().textContent = check[0];
      var cell = row.insertCell();
      cell.textContent = '…';
      check[1]().then(function (value) {
        cell.textContent = String(value);
        cell.className = 'ok';
      }, function (error) {
        cell.textContent = 'failed: ' + error;
        cell.className = 'failed';
      });
    });
    log('ran ' + checks.length + ' checks');
  });
})();
