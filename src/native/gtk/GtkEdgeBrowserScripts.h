// The page-side scripts of the WebKitGTK browser control: the window.chrome.webview shim in the
// page's world and the forwarder in the isolated bridge world.
#pragma once

namespace velmora::GtkEdgeBrowserScripts {

// The isolated world that owns the message channel, and the channel's name in it.
inline constexpr const char* kBridgeWorld = "velmora-bridge";
inline constexpr const char* kBridgeHandler = "velmora";

// Runs first in every document, in the page's world. postMessage hands the message to the bridge
// world as a DOM event whose detail is a string, because only primitives cross between worlds
// intact: a string as it is ("velmora-bridge-post-string"), any other value as its JSON text,
// made once ("velmora-bridge-post"). The functions it relies on are taken before any page script
// can replace them.
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
    if (typeof message === 'string') {
      dispatch.call(doc, new CustomEventClass('velmora-bridge-post-string', { detail: message }));
      return;
    }
    var json = stringify(message);
    dispatch.call(doc, new CustomEventClass('velmora-bridge-post', { detail: json === undefined ? 'null' : json }));
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
// source its messages report, and posts each message to the host with that address attached,
// without reading the message. A message of up to 64 KiB goes as one string: "j" (a value's JSON
// text) or "s" (a string), the address, a line break, the message (an address holds no line
// break, so the first one ends it); a larger one goes as {source, json} or {source, string}, so
// its bytes are not copied once more. The host's reply resolves the promise of this very post, in
// this very document: a reply never reaches another document, and none arrives once this one is
// gone. The listeners sit on window in the capture phase, registered before any page script, so
// they run first.
inline constexpr const char* kBridge = R"JS((function () {
  'use strict';
  var handlers = window.webkit && window.webkit.messageHandlers;
  var channel = handlers && handlers.velmora;
  if (!channel)
    return;
  var source = location.href;
  var doc = document;
  var CustomEventClass = CustomEvent;
  function forward(event, kind, key) {
    var message = event.detail;
    if (event.target !== doc || typeof message !== 'string')
      return;
    var envelope;
    if (message.length <= 65536) {
      envelope = kind + source + '\n' + message;
    } else {
      envelope = { source: source };
      envelope[key] = message;
    }
    var reply = channel.postMessage(envelope);
    if (reply && typeof reply.then === 'function') {
      reply.then(function (json) {
        if (typeof json === 'string')
          doc.dispatchEvent(new CustomEventClass('velmora-bridge-reply', { detail: json }));
      }, function () {});
    }
  }
  window.addEventListener('velmora-bridge-post', function (event) { forward(event, 'j', 'json'); }, true);
  window.addEventListener('velmora-bridge-post-string', function (event) { forward(event, 's', 'string'); }, true);
})();
)JS";

// Runs in the bridge world of every document, after kBridge, called with the media route's base
// address ("http://127.0.0.1:<port>/<secret>/"). In app documents it points audio and video
// elements, and the source elements inside them, that name an app address at the same file
// through the route, since WebKit's media player cannot load the app scheme: a mutation observer
// sees every such element the document gets and every change of its src attribute, before the
// media element starts loading. Other documents never learn the route.
inline constexpr const char* kMediaRoute = R"JS((function (mediaBase) {
  'use strict';
  var appPrefix = 'velmora://app/';
  if (!mediaBase || location.href.indexOf(appPrefix) !== 0)
    return;
  var doc = document;
  var URLClass = URL;
  function isMedia(node) {
    return node && (node.localName === 'video' || node.localName === 'audio');
  }
  function route(element) {
    if (!isMedia(element) && !(element.localName === 'source' && isMedia(element.parentNode)))
      return;
    var src = element.getAttribute('src');
    if (!src)
      return;
    var address;
    try {
      address = new URLClass(src, doc.baseURI).href;
    } catch (e) {
      return;
    }
    if (address.indexOf(appPrefix) === 0)
      element.setAttribute('src', mediaBase + address.substring(appPrefix.length));
  }
  function visit(node) {
    if (node.nodeType !== 1)
      return;
    route(node);
    var found = node.querySelectorAll('video[src], audio[src], source[src]');
    for (var i = 0; i < found.length; i++)
      route(found[i]);
  }
  new MutationObserver(function (records) {
    for (var i = 0; i < records.length; i++) {
      var record = records[i];
      if (record.type === 'attributes')
        route(record.target);
      else
        for (var j = 0; j < record.addedNodes.length; j++)
          visit(record.addedNodes[j]);
    }
  }).observe(doc, { subtree: true, childList: true, attributes: true, attributeFilter: ['src'] });
})
)JS";

} // namespace velmora::GtkEdgeBrowserScripts
