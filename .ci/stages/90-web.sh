# The web package: its module built from the library's sources for
# wasm32-wasi, its tests (comparing bytes with the native tool that stage
# 10-linux leaves, built here when it is missing), its tarball installed
# offline into an empty project, and the page driven in Debian's Chromium.
source=$PWD
# The machine's Node.js brings npm; Debian's own nodejs package does not.
command -v npm >/dev/null ||
  { source .ci/apt.sh; apt_update
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 npm; }
[ -x build/cli/quorbel ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel_tool; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cd web
npm ci --no-audit --no-fund --silent
echo "-- npm run build, npm test"
npm run --silent build
ls -l quorbel.wasm
npm test

echo "-- npm pack, installed offline into an empty project"
npm pack --silent --pack-destination "$work" >/dev/null
mkdir "$work/project"
cd "$work/project"
npm init -y >/dev/null
npm install --offline --no-audit --no-fund --silent "$work"/quorbel-*.tgz
# Each way in writes the documented example, tests/fixtures/example.mid,
# for the text and note length beside it: the call is made from those here.
example=$source/tests/fixtures/example.mid
example_call=$(node -p "const made = require('$source/tests/fixtures/example.json');
  \`writeMIDI(\${JSON.stringify(made.text)}, \${made.noteTicks})\`")
node --input-type=module -e "
  import { readFileSync } from 'node:fs';
  import { writeMIDI } from 'quorbel';
  if (!Buffer.from($example_call).equals(readFileSync('$example'))) throw new Error('the installed package wrote the wrong file');"
[ -f node_modules/quorbel/LICENSE ] || { echo "the tarball has no LICENSE" >&2; exit 1; }
node -e "
  const { writeMIDI } = require('quorbel');
  if (!Buffer.from($example_call).equals(require('node:fs').readFileSync('$example'))) throw new Error('require wrote the wrong file');"
# What TypeScript's nodenext makes of a CommonJS file that requires it, run.
printf '%s\n' "import q = require('quorbel');" \
  "if (q.$example_call.length !== $(stat -c %s "$example")) throw new Error('the .cts wrote the wrong file');" > require.cts
"$source/web/node_modules/.bin/tsc" --strict --module nodenext --moduleResolution nodenext require.cts
node require.cjs

echo "-- the declarations compiled against a typed use, the page in headless Chromium"
cd "$source/web"
npm run --silent test:types
npm run test:browser
