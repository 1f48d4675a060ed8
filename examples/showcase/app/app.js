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

  function value(id) { return document.getElementById(id).value; }

  function folderOf(path) {
    var cut = path.lastIndexOf('/');
    return cut > 0 ? path.substring(0, cut) : path;
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
    'get-bounds': function () { return show('window.getBounds', ryx.window.getBounds()); },
    'set-bounds': function () {
      return show('window.setBounds', ryx.window.setBounds({ left: 60, top: 40, width: 960, height: 680 }));
    },
    'get-args': function () { return show('app.getArgs', ryx.app.getArgs()); },
    'read-text': function () { return show('files.readTextFile', ryx.files.readTextFile({ filePath: value('path') })); },
    'read-base64': function () { return show('files.readBase64', ryx.files.readBase64({ filePath: value('path') })); },
    'list-folder': function () { return show('folders.list', ryx.folders.list({ dirPath: folderOf(value('path')) })); },
    'write-text': function () {
      return show('files.writeTextFile', ryx.files.writeTextFile({ filePath: value('path'), contents: value('contents') }));
    },
    'file-exists': function () { return show('files.fileExists', ryx.files.fileExists({ filePath: value('path') })); },
    'delete-file': function () { return show('files.deleteFile', ryx.files.deleteFile({ filePath: value('path') })); },
    'dir-exists': function () { return show('folders.dirExists', ryx.folders.dirExists({ dirPath: folderOf(value('path')) })); },
    'delete-dir': function () { return show('folders.deleteDir', ryx.folders.deleteDir({ dirPath: folderOf(value('path')) })); },
    'save-logo': function () {
      // The page reads its own image, encodes it and has the host write the decoded bytes.
      return fetch('images/logo.png').then(function (r) { return r.arrayBuffer(); }).then(function (buffer) {
        var bytes = new Uint8Array(buffer);
        var text = '';
        for (var i = 0; i < bytes.length; i++) { text += String.fromCharCode(bytes[i]); }
        return show('base64.decodeToFile', ryx.base64.decodeToFile({ filePath: 'showcase-data/logo-copy.png', contents: btoa(text) }));
      });
    },
    'extract-logo': function () {
      return ryx.folders.getAppExecutableDir().then(function (dir) {
        return show('files.extractFile', ryx.files.extractFile({ sourceFile: '/images/logo.png', targetFile: dir + 'logo-extracted.png' }));
      });
    },
    'open-dialog': function () {
      return show('dialogs.openFile', ryx.dialogs.openFile({ title: 'Open a text file', fileTypes: 'Text files|*.txt;All files|*' }));
    },
    'save-dialog': function () {
      return show('dialogs.saveFile', ryx.dialogs.saveFile({ title: 'Save the notes', fileName: 'notes.txt',
        fileTypes: 'Text files|*.txt;All files|*', overwritePrompt: true }));
    },
    'temp-dir': function () { return show('folders.getTempDir', ryx.folders.getTempDir()); },
    'documents-dir': function () { return show('folders.getUserDocumentsDir', ryx.folders.getUserDocumentsDir()); },
    'desktop-dir': function () { return show('folders.getUserDesktopDir', ryx.folders.getUserDesktopDir()); },
    'exe-dir': function () { return show('folders.getAppExecutableDir', ryx.folders.getAppExecutableDir()); },
    'appdata-dir': function () { return show('folders.getAppDataDir', ryx.folders.getAppDataDir()); },
    // The command runs beside the window: the page stays usable while it does.
    'run-command': function () {
      log('shell.command started');
      return show('shell.command', ryx.shell.command({ command: value('command'), workingDir: value('working-dir') }));
    },
    'list-windows': function () { return show('shell.windows', ryx.shell.windows()); },
    'shell-execute': function () { return show('shell.execute', ryx.shell.execute({ filePath: value('open-target') })); },
    'shell-explore': function () { return show('shell.explore', ryx.shell.explore({ filePath: value('open-target') })); },
    'logoff': function () { if (window.confirm('Log off now? Unsaved work is lost.')) { return show('system.logoff', ryx.system.logoff()); } },
    'reboot': function () { if (window.confirm('Restart now? Unsaved work is lost.')) { return show('system.reboot', ryx.system.reboot()); } },
    'shutdown': function () { if (window.confirm('Shut down now? Unsaved work is lost.')) { return show('system.shutdown', ryx.system.shutdown()); } },
    'rename-menu': function () {
      renamed = !renamed;
      return show('mainMenu.updateItem', ryx.mainMenu.updateItem({ id: 101, caption: renamed ? '&Open a file…' : '&Open…' }));
    },
    'toggle-save': function () {
      saveEnabled = !saveEnabled;
      return show('mainMenu.updateItem', ryx.mainMenu.updateItem({ id: 102, enabled: saveEnabled }));
    },
    // A new window on an app page starts a second instance of the app showing it.
    'play-clip': function () { document.getElementById('clip').play(); },
    'seek-clip': function () { document.getElementById('clip').currentTime = 4; },
    'new-window': function () { window.open('pages/about.html', '_blank'); log('window.open pages/about.html'); },
    'close': function () { ryx.app.close(); }
  };

  document.addEventListener('click', function (event) {
    var name = event.target.getAttribute && event.target.getAttribute('data-cmd');
    if (name && commands[name]) {
      commands[name]();
    }
  });

  // The native menu bar: ids pick the action, images come from the app folder in the archive.
  var renamed = false;
  var saveEnabled = true;
  var menuActions = {
    101: 'open-dialog', 102: 'save-dialog', 103: 'close',
    201: 'ontop', 202: 'normal-style', 203: 'maximize', 204: 'restore', 205: 'fullscreen', 206: 'exit-fullscreen',
    301: 'run-command', 302: 'list-windows'
  };
  ryx.mainMenu.setItems({ items: JSON.stringify([
    { caption: '&File', id: 100, items: [
      { caption: '&Open…', id: 101, image: 'showcase/images/menu/open.png' },
      { caption: '&Save…', id: 102, image: 'showcase/images/menu/save.png' },
      { caption: '-', id: 0 },
      { caption: '&Close', id: 103, image: 'showcase/images/menu/close.png' }
    ] },
    { caption: '&Window', id: 200, items: [
      { caption: 'Keep on &top', id: 201 },
      { caption: '&Normal order', id: 202 },
      { caption: '-', id: 0 },
      { caption: '&Maximize', id: 203 },
      { caption: '&Restore', id: 204 },
      { caption: 'Full &screen', id: 209, items: [
        { caption: '&Enter', id: 205 },
        { caption: '&Leave', id: 206 }
      ] }
    ] },
    { caption: '&Shell', id: 300, items: [
      { caption: '&Run the command', id: 301 },
      { caption: '&List windows', id: 302 },
      { caption: 'Shut &down (disabled)', id: 303, enabled: false }
    ] },
    { caption: '&Help', id: 400, items: [
      { caption: '&About', id: 401, image: 'showcase/images/menu/about.png' }
    ] }
  ]) }).then(function () { log('mainMenu.setItems → true'); }, function (e) { log('mainMenu.setItems failed: ' + e); });

  ryx.events.onMainMenuItemClick = function (id) {
    document.getElementById('menu-click').textContent = 'Menu item ' + id + ' picked.';
    log('menu item ' + id);
    if (id === 401) {
      location.href = 'pages/about.html';
    } else if (menuActions[id]) {
      commands[menuActions[id]]();
    }
  };

  // The theme picker lists the 40 themes and shows the active one.
  var picker = document.getElementById('theme');
  Promise.all([ryx.themes.getThemes(), ryx.themes.getTheme()]).then(function (results) {
    results[0].forEach(function (name) {
      var option = document.createElement('option');
      option.textContent = name;
      option.selected = name === results[1];
      picker.appendChild(option);
    });
  });
  picker.addEventListener('change', function () {
    show('themes.setTheme', ryx.themes.setTheme({ name: picker.value }));
  });

  // Plays the muted clip, jumps to 0:04 and tells where playing went on.
  function playAndSeek() {
    var clip = document.getElementById('clip');
    return new Promise(function (resolve, reject) {
      clip.addEventListener('error', function () { reject('media error ' + (clip.error && clip.error.code)); },
                            { once: true });
      clip.addEventListener('seeked', function () {
        resolve('playing at ' + clip.currentTime.toFixed(1) + ' s of ' + clip.duration.toFixed(1) + ' s');
      }, { once: true });
      clip.play().then(function () { clip.currentTime = 4; }, reject);
    });
  }

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
    ['Window bounds', function () {
      return ryx.window.getBounds().then(function (b) { return b.width + ' × ' + b.height + ', ' + b.state; });
    }],
    ['Command-line arguments', function () { return ryx.app.getArgs().then(function (a) { return a.length; }); }],
    ['A text file read back', function () {
      var file = 'showcase-data/read-back.txt';
      return ryx.files.writeTextFile({ filePath: file, contents: 'Grüße €\nzwei' }).then(function () {
        return ryx.files.readTextFile({ filePath: file });
      }).then(function (text) {
        if (text !== 'Grüße €\r\nzwei\r\n') throw new Error('read back ' + JSON.stringify(text));
        return ryx.folders.list({ dirPath: 'showcase-data' });
      }).then(function (entries) {
        return entries.length + ' entries in showcase-data';
      });
    }],
    ['Page served from', function () { return Promise.resolve(location.href); }],
    ['Program folder', function () { return ryx.folders.getAppExecutableDir(); }],
    ['Temp folder', function () { return ryx.folders.getTempDir(); }],
    ['Theme', function () { return ryx.themes.getTheme(); }],
    ['Style sheet type', function () {
      return fetch('style.css').then(function (r) { return r.headers.get('content-type'); });
    }],
    ['Byte range of the clip', function () {
      return fetch('media/clip.webm', { headers: { Range: 'bytes=0-99' } }).then(function (r) {
        return r.status + ' ' + r.headers.get('content-range');
      });
    }],
    ['Clip plays and seeks', playAndSeek]
  ];

  // The window caption follows the document title (DynamicAppTitle=1), so it tells how the
  // checks went once they have all settled.
  document.getElementById('run-all').addEventListener('click', function () {
    var body = document.querySelector('#checks tbody');
    body.textContent = '';
    var settled = checks.map(function (check) {
      var row = body.insertRow();
      row.insertCell().textContent = check[0];
      var cell = row.insertCell();
      cell.textContent = '…';
      return check[1]().then(function (value) {
        cell.textContent = String(value);
        cell.className = 'ok';
        return true;
      }, function (error) {
        cell.textContent = 'failed: ' + error;
        cell.className = 'failed';
        return false;
      });
    });
    Promise.all(settled).then(function (passed) {
      var count = passed.filter(Boolean).length;
      document.title = 'Velmora Showcase: ' + count + ' of ' + checks.length + ' checks passed';
      log('ran ' + checks.length + ' checks, ' + count + ' passed');
    });
  });
})();
