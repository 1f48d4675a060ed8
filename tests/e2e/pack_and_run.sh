#!/usr/bin/env bash
# End-to-end: velmora-pack makes a packaged app from a real app folder; standard ZIP tools see
# encrypted entries that the archive password decrypts; the packer's command line refuses bad
# input with a non-zero exit. (The packaged app running is tested by gui_e2e.py.)
# Usage: pack_and_run.sh VELMORA_PACK VELMORA_RUNTIME APP_FOLDER_WITH_RYX_INI
set -uo pipefail

pack=$1
runtime=$2
example=$3
here=$(cd "$(dirname "$0")" && pwd)
password=$(sed -n 's/.*kArchivePassword = "\([a-z0-9]*\)".*/\1/p' "$here/../../src/shared/ArchivePassword.h")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

check() { # check NAME COMMAND...: passes when the command succeeds
  local name=$1
  shift
  if "$@" >"$work/check.out" 2>&1; then
    passes=$((passes + 1))
  else
    failures=$((failures + 1))
    echo "FAIL: $name"
    sed 's/^/    /' "$work/check.out"
  fi
}

refuses() { # refuses NAME EXPECTED_TEXT COMMAND...: passes when the command fails and says EXPECTED_TEXT
  local name=$1 text=$2
  shift 2
  if "$@" >"$work/check.out" 2>&1; then
    failures=$((failures + 1))
    echo "FAIL: $name (accepted)"
  elif ! grep -q -- "$text" "$work/check.out"; then
    failures=$((failures + 1))
    echo "FAIL: $name (no \"$text\" in the message)"
    sed 's/^/    /' "$work/check.out"
  else
    passes=$((passes + 1))
  fi
}

[ -n "$password" ] || { echo "cannot read the archive password"; exit 1; }
app="$work/Showcase App"
cp "$runtime" "$work/runtime.before"

check "pack the showcase" "$pack" --settings "$example/ryx.ini" --app "$example/app" --runtime "$runtime" -o "$app"
check "packaged file is executable" test -x "$app"
check "runtime left unchanged" cmp "$runtime" "$work/runtime.before"

# Standard tools read the attached archive: encrypted entries, decrypted by the archive password.
check "extract the archive" "$pack" --extract "$app" -o "$work/archive.zip"
check "archive is a ZIP file" bash -c "file '$work/archive.zip' | grep -q 'Zip archive'"
zipinfo -v "$work/archive.zip" >"$work/zipinfo" 2>&1
entries=$(grep -c '^Central directory entry' "$work/zipinfo")
encrypted=$(grep -c 'file security status: *encrypted' "$work/zipinfo")
check "every entry encrypted ($encrypted of $entries)" test "$entries" -gt 5 -a "$entries" = "$encrypted"
check "no archive comment" bash -c "zipinfo -z '$work/archive.zip' | grep -qv 'comment'"
check "archive password decrypts every entry" unzip -P "$password" -t "$work/archive.zip"
check "wrong password is refused" bash -c "! unzip -P wrongpassword -t '$work/archive.zip'"
mkdir "$work/unpacked"
check "unpack" unzip -q -P "$password" "$work/archive.zip" -d "$work/unpacked"
check "app files stored under DirName" diff -r "$example/app" "$work/unpacked/showcase"
check "settings stored as given" cmp "$example/ryx.ini" "$work/unpacked/ryx.ini"
check "page script stored empty" test -f "$work/unpacked/ryx-webviewjs" -a ! -s "$work/unpacked/ryx-webviewjs"
"$pack" --list "$app" >"$work/list" 2>&1
check "list the entries" test $? -eq 0
check "listing shows the start page" grep -q 'pkware  showcase/index.html' "$work/list"

# Settings without an ID: the packer refuses; a bundle without identity ends silently.
printf '[App]\nName=x\nDirName=showcase\n' >"$work/noid.ini"
refuses "empty ID" "no ID" "$pack" --settings "$work/noid.ini" --app "$example/app" --runtime "$runtime" -o "$work/x"
refuses "missing app folder" "App folder not found" "$pack" --settings "$example/ryx.ini" --app "$work/none" \
  --runtime "$runtime" -o "$work/x"
refuses "output is the runtime" "must not be the runtime" "$pack" --settings "$example/ryx.ini" --app "$example/app" \
  --runtime "$work/runtime.before" -o "$work/runtime.before"
refuses "runtime already packed" "already carries an archive" "$pack" --settings "$example/ryx.ini" \
  --app "$example/app" --runtime "$app" -o "$work/x"
refuses "unknown option" "unknown argument" "$pack" --frobnicate
refuses "missing value" "needs a value" "$pack" --settings
check "help" "$pack" --help
check "no output left by refusals" test ! -e "$work/x"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
