// Checks the page API's three descriptions against one another: the runtime's command table
// (src/shared/BrowserExternalModule.cpp), the client script (resources/ryx-external.js) and the
// typings (resources/ryx.d.ts). Every command must be a method of the script, posting its id,
// and a method of the typings, and the other way round. Then a typed sample page that uses every
// method is compiled against the typings with tsc --strict.
// Usage: node check_typings.js SOURCE_ROOT
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const root = process.argv[2];
let ts;
try {
  ts = require(path.join(__dirname, 'node_modules', 'typescript'));
} catch (e) {
  console.error('TypeScript is not installed in tests/typings: run scripts/install-deps.sh');
  process.exit(1);
}

const typings = path.join(root, 'resources', 'ryx.d.ts');
const failures = [];
function compare(what, actual, expected) {
  const missing = [...expected].filter((name) => !actual.has(name)).sort();
  const extra = [...actual].filter((name) => !expected.has(name)).sort();
  if (missing.length) failures.push(`${what} lacks: ${missing.join(', ')}`);
  if (extra.length) failures.push(`${what} has what the command table does not: ${extra.join(', ')}`);
}

// The command table: {id, "group.name", &M::Handler, ...} rows.
const table = new Map();
const tableSource = fs.readFileSync(path.join(root, 'src', 'shared', 'BrowserExternalModule.cpp'), 'utf8');
for (const row of tableSource.matchAll(/\{(\d+), "([A-Za-z0-9.]+)", &M::/g)) table.set(row[2], Number(row[1]));
assert.ok(table.size > 30, `only ${table.size} commands found in the table: has its layout changed?`);

// The client script, run against a stand-in page interface: each method is called and the id it
// posts is recorded.
const script = new Map();
{
  const posted = [];
  const webview = { addEventListener() {}, postMessage(message) { posted.push(message); } };
  const page = { Math, Promise, chrome: { webview } };
  page.window = page;
  vm.createContext(page);
  vm.runInContext(fs.readFileSync(path.join(root, 'resources', 'ryx-external.js'), 'utf8').replace(/^\uFEFF/, ''), page);
  const visit = (object, prefix) => {
    for (const [key, value] of Object.entries(object)) {
      const name = prefix + key;
      if (name === 'call' || name === 'events') continue;
      if (typeof value === 'function') {
        object[key]({});
        script.set(name, posted.pop().id);
      } else if (value && typeof value === 'object') {
        visit(value, name + '.');
      }
    }
  };
  visit(page.ryx, '');
  for (const [name, id] of script) {
    if (table.has(name) && table.get(name) !== id) failures.push(`the client script posts ${id} for ${name}, the table has ${table.get(name)}`);
  }
  compare('The client script', new Set(script.keys()), new Set(table.keys()));
}

// The typings, compiled with the sample page; then the methods of the declared ryx object.
const program = ts.createProgram([typings, path.join(__dirname, 'sample.ts')], {
  strict: true,
  noEmit: true,
  target: ts.ScriptTarget.ES2020,
  lib: ['lib.es2020.d.ts', 'lib.dom.d.ts'],
  types: [],
});
for (const diagnostic of ts.getPreEmitDiagnostics(program)) {
  const where = diagnostic.file
    ? `${path.basename(diagnostic.file.fileName)}:${diagnostic.file.getLineAndCharacterOfPosition(diagnostic.start).line + 1}: `
    : '';
  failures.push(where + ts.flattenDiagnosticMessageText(diagnostic.messageText, '\n'));
}
{
  const checker = program.getTypeChecker();
  const source = program.getSourceFile(typings);
  let ryxType;
  ts.forEachChild(source, (node) => {
    if (ts.isVariableStatement(node)) {
      for (const declaration of node.declarationList.declarations) {
        if (declaration.name.getText(source) === 'ryx') ryxType = checker.getTypeAtLocation(declaration);
      }
    }
  });
  assert.ok(ryxType, 'ryx.d.ts declares no global ryx');
  const declared = new Set();
  const visit = (type, prefix) => {
    for (const property of type.getProperties()) {
      const name = prefix + property.getName();
      const propertyType = checker.getTypeOfSymbol(property);
      if (name === 'call') continue;
      if (name === 'events') {
        const events = propertyType.getProperties().map((p) => p.getName()).sort();
        if (events.join() !== 'onCloseQuery,onMainMenuItemClick,onSecondInstance') failures.push(`ryx.events declares ${events.join(', ')}`);
        continue;
      }
      if (propertyType.getCallSignatures().length > 0) declared.add(name);
      else visit(propertyType, name + '.');
    }
  };
  visit(ryxType, '');
  compare('ryx.d.ts', declared, new Set(table.keys()));
}

if (failures.length) {
  for (const failure of failures) console.error('FAIL ' + failure);
  process.exit(1);
}
console.log(`typings: ${table.size} commands in the table, the client script and ryx.d.ts; the sample compiles`);
