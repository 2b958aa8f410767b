#!/usr/bin/env bash
# Builds the Debian packages from the build folder into a temporary folder,
# unpacks them into a temporary root (dpkg -x, as `apt install` would lay them
# out under /), and runs both programs from there with fresh HARBEX_HOME folders:
# harbex-cli copies the sample site served on 127.0.0.1 by this test, and the
# windowed harbex starts on the offscreen platform and finds its data; last, the
# person-level test drives the unpacked harbex in a display of its own.
# Usage: package_test.sh BUILD_DIR
set -euo pipefail
build=$(realpath "${1:?build folder}")
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

work=$(mktemp -d)
server_pid=""
gui_pid=""
cleanup()
{
    [[ -n $server_pid ]] && kill "$server_pid" 2>/dev/null || true
    [[ -n $gui_pid ]] && kill "$gui_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail()
{
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# 1. The packages.
(cd "$build" && cpack -G DEB -B "$work/packages" >"$work/cpack.log" 2>&1) || {
    cat "$work/cpack.log"
    echo "FAIL: cpack -G DEB"
    exit 1
}
shopt -s nullglob
gui_debs=("$work/packages"/harbex_*.deb)
cli_debs=("$work/packages"/harbex-cli_*.deb)
shopt -u nullglob
if ((${#gui_debs[@]} != 1 || ${#cli_debs[@]} != 1)); then
    ls -l "$work/packages"
    echo "FAIL: expected one harbex_*.deb and one harbex-cli_*.deb"
    exit 1
fi
gui_deb=${gui_debs[0]}
cli_deb=${cli_debs[0]}

cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
gui_depends=$(dpkg-deb -f "$gui_deb" Depends)
echo "harbex-cli Depends: $cli_depends"
echo "harbex Depends: $gui_depends"
[[ $cli_depends == *libqt* || $cli_depends == *qt6* ]] && fail "harbex-cli depends on Qt: $cli_depends"
# The dependencies come from dpkg-shlibdeps: the libraries the programs link.
[[ $cli_depends == *libzip* && $cli_depends == *libc6* ]] || fail "harbex-cli Depends lacks libzip or libc6"
[[ $gui_depends == *libqt6widgets6* ]] || fail "harbex Depends lacks libqt6widgets6"
version=$(dpkg-deb -f "$cli_deb" Version)
[[ $gui_depends == *"harbex-cli (= $version)"* ]] || fail "harbex does not depend on harbex-cli (= $version)"
for deb in "$cli_deb" "$gui_deb"; do
    for field in Maintainer Description Section; do
        [[ -n $(dpkg-deb -f "$deb" "$field") ]] || fail "$(basename "$deb") has no $field"
    done
done

# 2. Unpacked into a root of its own; each file belongs to exactly one package.
root="$work/root"
dpkg -x "$cli_deb" "$root"
dpkg -x "$gui_deb" "$root"
files_of()
{
    dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$'
}
# Listed once into files: `grep -q` on the live listing stops reading at its first
# match, tar dies of SIGPIPE and pipefail then reports the file as missing.
files_of "$cli_deb" >"$work/cli.files"
files_of "$gui_deb" >"$work/gui.files"
duplicates=$(sort "$work/cli.files" "$work/gui.files" | uniq -d)
[[ -z $duplicates ]] || fail "files in both packages: $duplicates"
for file in usr/bin/harbex-cli usr/share/harbex/FTypes.reg usr/share/harbex/sample-site/index.html \
    usr/share/man/man1/harbex-cli.1.gz usr/share/bash-completion/completions/harbex-cli; do
    grep -qx "\./$file" "$work/cli.files" || fail "harbex-cli package lacks /$file"
done
for file in usr/bin/harbex usr/share/applications/harbex.desktop usr/share/metainfo/org.harbex.Harbex.metainfo.xml \
    usr/share/mime/packages/harbex.xml usr/share/icons/hicolor/48x48/apps/harbex.png \
    usr/share/icons/hicolor/scalable/apps/harbex.svg usr/share/man/man1/harbex.1.gz; do
    grep -qx "\./$file" "$work/gui.files" || fail "harbex package lacks /$file"
done
if grep -qi 'libqt' <<<"$(ldd "$root/usr/bin/harbex-cli")"; then
    fail "the installed harbex-cli loads Qt"
fi

# 3. harbex-cli from the unpacked root finds the data there.
cli_home="$work/cli-home"
data_line=$(HARBEX_HOME="$cli_home" "$root/usr/bin/harbex-cli" settings | grep 'Installed data:' || true)
[[ $data_line == *"$root/usr/share/harbex/" ]] || fail "harbex-cli did not find the unpacked data: $data_line"

# 4. A server on 127.0.0.1 serves the unpacked sample site; harbex-cli copies it.
python3 -u -m http.server --bind 127.0.0.1 --directory "$root/usr/share/harbex/sample-site" 0 >"$work/server.log" 2>&1 &
server_pid=$!
port=""
for _ in $(seq 1 100); do
    port=$(sed -n 's/.*127\.0\.0\.1 port \([0-9]*\).*/\1/p' "$work/server.log" | head -n 1)
    [[ -n $port ]] && break
    sleep 0.1
done
[[ -n $port ]] || {
    cat "$work/server.log"
    echo "FAIL: the test server did not start"
    exit 1
}
copy="$work/copy"
if ! HARBEX_HOME="$cli_home" timeout 120 "$root/usr/bin/harbex-cli" copy "http://127.0.0.1:$port/index.html" \
    --folder "$copy" --name "Sample Site" >"$work/copy.log" 2>&1; then
    cat "$work/copy.log"
    fail "harbex-cli copy failed"
fi
grep -q 'Task Complete' "$work/copy.log" || fail "harbex-cli did not report Task Complete"
site="$copy/127.0.0.1"
for page in index.html about.html style.css images/logo.png images/harbour.png articles/index.html \
    articles/first-copy.html articles/profiles.html articles/offline.html; do
    cmp -s "$root/usr/share/harbex/sample-site/$page" "$site/$page" ||
        [[ $page == *.html && -s $site/$page ]] || fail "the copy lacks $page"
done
# The saved pages browse from disk: no link back to the server is left in them.
if grep -rl "127.0.0.1:$port" "$site" --include='*.html' >/dev/null; then
    fail "saved pages still link to the server: $(grep -rl "127.0.0.1:$port" "$site" --include='*.html')"
fi
# The summary report uses the skin pictures seeded from the installed data.
[[ -f "$site/!images/html.gif" ]] || fail "the summary report lacks the skin's pictures"
[[ -f "$cli_home/Tasks/General/Sample Site.hxt" ]] || fail "no task file in the fresh HARBEX_HOME"

# 5. The windowed program from the unpacked root, on the offscreen platform.
export QT_QPA_PLATFORM=offscreen
shots="$work/shots"
if ! timeout 180 "$root/usr/bin/harbex" --screenshots "$shots" >"$work/shots.log" 2>&1; then
    cat "$work/shots.log"
    fail "harbex --screenshots failed"
fi
for picture in main-tasks-empty main-tasks-done editor-1; do
    [[ -s "$shots/$picture.png" ]] || fail "harbex took no picture $picture.png"
done

# Started as a person's file manager starts it, with a task file, in a fresh
# HARBEX_HOME: it seeds its program folder from the installed data and keeps running
# (up to a minute: a loaded machine starts the browser engine slowly).
gui_home="$work/gui-home"
HARBEX_HOME="$gui_home" "$root/usr/bin/harbex" "$cli_home/Tasks/General/Sample Site.hxt" >"$work/gui.log" 2>&1 &
gui_pid=$!
for _ in $(seq 1 600); do
    [[ -f "$gui_home/Skins/Default/html.gif" && -f "$gui_home/Profiles/Whole Site.hxp" ]] && break
    sleep 0.1
done
[[ -f "$gui_home/Skins/Default/html.gif" && -f "$gui_home/Profiles/Whole Site.hxp" ]] ||
    fail "harbex did not seed its program folder from the installed data"
sleep 1
if kill -0 "$gui_pid" 2>/dev/null; then
    kill "$gui_pid"
    wait "$gui_pid" 2>/dev/null || true
else
    cat "$work/gui.log"
    fail "harbex ended on its own after starting with a task file"
fi
gui_pid=""

# 6. A person uses the unpacked harbex: the person-level test (its own display and
# session bus, the address typed, Go, the Tasks view, SmartUpdate, the summary
# report, File > Exit, the copy on disk) against the program and the sample site
# as the package laid them out.
if ! timeout 300 bash "$here/../person/run_person_test.sh" "$root/usr/bin/harbex" \
    "$root/usr/share/harbex/sample-site" >"$work/person.log" 2>&1; then
    cat "$work/person.log"
    fail "the person-level test failed against the unpacked harbex"
else
    grep '^\[person\]' "$work/person.log"
fi

if ((failures > 0)); then
    echo "$failures package check(s) failed"
    exit 1
fi
echo "packages: $(basename "$cli_deb") $(basename "$gui_deb"): all checks passed"
