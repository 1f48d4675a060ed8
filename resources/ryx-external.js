// window.ryx: the page side of the Velmora bridge. Each method posts {id, uuid, data} to the host
// through window.chrome.webview and returns a promise settled by the reply with the same uuid.
// One message listener serves every call: it settles the pending call that the reply's uuid
// names and forgets it, so a second reply with that uuid finds nothing to settle. The page's own
// message listeners see every reply as well.
window.ryx = (function () {
  var pending = new Map();
  var uuidPattern = 'xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx';
  var hexDigits = '0123456789abcdef';
  var listening = null;
  function settle(event) {
    var data = event.data;
    if (!data) {
      return;
    }
    var call = pending.get(data.uuid);
    if (call === undefined) {
      return;
    }
    pending.delete(data.uuid);
    if (data.success) {
      call.resolve(data.result);
    } else {
      call.reject(data.result);
    }
  }
  return {
    call: function (funcID, args) {
      // Each x a random hex digit, y one of 8, 9, a, b; the 4 and the hyphens stay.
      var uuid = '';
      for (var i = 0; i < 36; i++) {
        var c = uuidPattern.charCodeAt(i);
        if (c === 120 || c === 121) { // x, y
          var r = Math.random() * 16 | 0;
          uuid += hexDigits[c === 120 ? r : (r & 3 | 8)];
        } else {
          uuid += uuidPattern[i];
        }
      }
      return new Promise(function (resolve, reject) {
        var webview = window.chrome.webview;
        // Listens once per message channel (a page may have replaced it since the last call).
        if (listening !== webview) {
          webview.addEventListener('message', settle);
          listening = webview;
        }
        pending.set(uuid, { resolve: resolve, reject: reject });
        webview.postMessage({ id: funcID, uuid: uuid, data: args });
      });
    },
    hello: function () { return this.call(10001, {}); },
    isRuntime: function () { return this.call(10002, {}); },
    dialogs: {
      openFile: function (args) { return window.ryx.call(20001, args); },
      saveFile: function (args) { return window.ryx.call(20002, args); }
    },
    files: {
      fileExists: function (args) { return window.ryx.call(30001, args); },
      deleteFile: function (args) { return window.ryx.call(30002, args); },
      writeTextFile: function (args) { return window.ryx.call(30003, args); },
      extractFile: function (args) { return window.ryx.call(30004, args); },
      readTextFile: function (args) { return window.ryx.call(30005, args); },
      readBase64: function (args) { return window.ryx.call(30006, args); }
    },
    folders: {
      dirExists: function (args) { return window.ryx.call(40001, args); },
      deleteDir: function (args) { return window.ryx.call(40002, args); },
      getTempDir: function () { return window.ryx.call(40003, {}); },
      getUserDocumentsDir: function () { return window.ryx.call(40004, {}); },
      getUserDesktopDir: function () { return window.ryx.call(40005, {}); },
      getAppExecutableDir: function () { return window.ryx.call(40006, {}); },
      getAppDataDir: function () { return window.ryx.call(40007, {}); },
      list: function (args) { return window.ryx.call(40008, args); }
    },
    app: {
      close: function () { return window.ryx.call(50001, {}); },
      inFullscreen: function () { return window.ryx.call(50002, {}); },
      enterFullscreen: function () { return window.ryx.call(50003, {}); },
      exitFullscreen: function () { return window.ryx.call(50004, {}); },
      getArgs: function () { return window.ryx.call(50005, {}); }
    },
    window: {
      getStyle: function () { return window.ryx.call(60001, {}); },
      setStyle: function (args) { return window.ryx.call(60002, args); },
      getState: function () { return window.ryx.call(60003, {}); },
      setState: function (args) { return window.ryx.call(60004, args); },
      getTitle: function () { return window.ryx.call(60005, {}); },
      setTitle: function (args) { return window.ryx.call(60006, args); },
      getBounds: function () { return window.ryx.call(60007, {}); },
      setBounds: function (args) { return window.ryx.call(60008, args); }
    },
    shell: {
      execute: function (args) { return window.ryx.call(70001, args); },
      explore: function (args) { return window.ryx.call(70002, args); },
      command: function (args) { return window.ryx.call(70003, args); },
      windows: function () { return window.ryx.call(70004, {}); }
    },
    themes: {
      getTheme: function () { return window.ryx.call(80001, {}); },
      getThemes: function () { return window.ryx.call(80002, {}); },
      setTheme: function (args) { return window.ryx.call(80003, args); }
    },
    base64: {
      decodeToFile: function (args) { return window.ryx.call(90001, args); }
    },
    system: {
      logoff: function () { return window.ryx.call(11001, {}); },
      reboot: function () { return window.ryx.call(11002, {}); },
      shutdown: function () { return window.ryx.call(11003, {}); }
    },
    mainMenu: {
      setItems: function (args) { return window.ryx.call(12001, args); },
      updateItem: function (args) { return window.ryx.call(12002, args); }
    },
    events: {
      onCloseQuery: function () { window.ryx.app.close(); },
      onMainMenuItemClick: function (itemId) { },
      onSecondInstance: function (args) { }
    }
  };
})();
