// The page-side scripts of the WebKitGTK browser control: the window.chrome.webview shim in the
// page's world and the forwarder in the isolated bridge world.
#pragma once

namespace velmora::GtkEdgeBrowserScripts {

// The isolated world that owns the message channel, and the channel's name in it.
inline constexpr const char* kBridgeWorld = "velmora-bridge";
inline constexpr const char* kBridgeHandler = "velmora";

// Runs first in every document, in the page's world. postMessage hands the value to the bridge
// world as a DOM event whose detail is a string, because only primitives cross between worlds
// intact. The functions it relies on are taken before any page script can replace them.
// Host messages arrive as MessageEvents of a private EventTarget: replies to this document's own
// messages through a "velmora-bridge-reply" event the bridge world dispatches on the document,
// messages the host posts to the top-level document through __velmoraDeliver.
inline constexpr const char* kShim = R"JS((function () {
  'use strict';
  var stringify = JSON.stringify;
  var parse = JSON.parse;
  var dispatch = EventTarget.prototype.dispatchEvent;
  var listen = EventTarget.prototype.addEventListener;
  var CustomEventClass = CustomEvent;
  var MessageEventClass = MessageEvent;
  var doc = document;
  var listeners = new EventTarget();
  var webview = {};
  function define(name, fn) {
    Object.defineProperty(webview, name, { value: fn, enumerable: true });
  }
  define('postMessage', function postMessage(message) {
    var json = stringify(message);
    var detail = stringify({ json: json === undefined ? 'null' : json, isString: typeof message === 'string' });
    dispatch.call(doc, new CustomEventClass('velmora-bridge-post', { detail: detail }));
  });
  define('addEventListener', function addEventListener(type, listener, options) {
    listeners.addEventListener(type, listener, options);
  });
  define('removeEventListener', function removeEventListener(type, listener, options) {
    listeners.removeEventListener(type, listener, options);
  });
  function deliver(data) {
    dispatch.call(listeners, new MessageEventClass('message', { data: data }));
  }
  Object.defineProperty(webview, '__velmoraDeliver', { value: deliver });
  listen.call(doc, 'velmora-bridge-reply', function (event) {
    if (typeof event.detail !== 'string')
      return;
    var data;
    try {
      data = parse(event.detail);
    } catch (e) {
      return;
    }
    deliver(data);
  }, true);
  var chrome = window.chrome;
  if (typeof chrome !== 'object' || chrome === null) {
    chrome = {};
    Object.defineProperty(window, 'chrome', { value: chrome, writable: true, configurable: true });
  }
  Object.defineProperty(chrome, 'webview', { value: webview, enumerable: true });
})();
)JS";

// Runs in the bridge world of every document. It takes the document's address when the document
// starts, before any page script runs, so neither the page nor history.pushState can choose what
// source its messages report, and posts one JSON envelope to the host: {source, json, string},
// string being the value when a string was posted and null otherwise. The host's reply resolves
// the promise of this very post, in this very document: a reply never reaches another document,
// and none arrives once this one is gone. The listener sits on window in the capture phase,
// registered before any page script, so it runs first.
inline constexpr const char* kBridge = R"JS((function () {
  'use strict';
  var handlers = window.webkit && window.webkit.messageHandlers;
  var channel = handlers && handlers.velmora;
  if (!channel)
    return;
  var source = location.href;
  var doc = document;
  var stringify = JSON.stringify;
  var parse = JSON.parse;
  var CustomEventClass = CustomEvent;
  window.addEventListener('velmora-bridge-post', function (event) {
    if (event.target !== doc || typeof event.detail !== 'string')
      return;
    var message;
    try {
      message = parse(event.detail);
    } catch (e) {
      return;
    }
    if (message === null || typeof message !== 'object' || typeof message.json !== 'string')
      return;
    var value;
    try {
      value = parse(message.json);
    } catch (e) {
      return;
    }
    var text = message.isString === true && typeof value === 'string' ? value : null;
    var reply = channel.postMessage(stringify({ source: source, json: message.json, string: text }));
    if (reply && typeof reply.then === 'function') {
      reply.then(function (json) {
        if (typeof json === 'string')
          doc.dispatchEvent(new CustomEventClass('velmora-bridge-reply', { detail: json }));
      }, function () {});
    }
  }, true);
})();
)JS";

} // namespace velmora::GtkEdgeBrowserScripts
