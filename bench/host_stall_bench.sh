#!/usr/bin/env bash
# Unreachable hosts must not stall a copy: copies the Python documentation tree
# (Debian's python3.11-doc, whose pages link hundreds of files on github.com and
# other hosts) served by nginx on 127.0.0.1, twice in the same run: with the
# "Whole Site" profile (files on other hosts too, so their names are looked up,
# whatever the machine's resolver does with them) and with a profile limited to
# the site ("Resource Location" 1). Prints both wall times, their ratio against
# the goal (Whole Site at most 1.5 times the site-only copy), the host names each
# copy looked up and the errors it counted. Not a test; CI does not run it.
#
#     bench/host_stall_bench.sh [--harbex PATH] [--docs DIR] [--keep] [-- copy options...]
#
# harbex-cli defaults to build/app/harbex-cli and runs with HARBEX_HOME in a
# temporary folder (set up by a first untimed start). The documentation is
# installed with apt-get when it is missing; nginx and /usr/bin/time are required.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
harbex=$here/build/app/harbex-cli
docs=/usr/share/doc/python3.11/html
keep=0
copy_options=()
while [ $# -gt 0 ]; do
    case "$1" in
        --harbex) harbex=$2; shift 2 ;;
        --docs) docs=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        --) shift; copy_options=("$@"); break ;;
        *) echo "$(basename "$0"): unknown option $1" >&2; exit 2 ;;
    esac
done

if [ ! -f "$docs/index.html" ]; then
    echo "Installing python3.11-doc for $docs ..."
    if [ "$(id -u)" -eq 0 ]; then apt-get install -y python3.11-doc >/dev/null; else sudo apt-get install -y python3.11-doc >/dev/null; fi
fi
[ -x "$harbex" ] || { echo "$(basename "$0"): no harbex-cli at $harbex" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/hx-hosts-bench.XXXXXX")
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
# shellcheck source=bench/bench_nginx.sh
. "$here/bench/bench_nginx.sh"
cleanup() {
    stop_nginx
    if [ "$keep" = 1 ]; then echo "Kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

: >"$work/extra.conf"
start_nginx "$docs" "$work/extra.conf"
url=http://127.0.0.1:$port/index.html
pages=$(find "$docs" -name '*.html' | wc -l)

export HARBEX_HOME=$work/home
"$harbex" settings >/dev/null 2>&1 || true
# The site-only profile: "Whole Site" with files taken from the site alone.
sed -e 's/^Profile Name=.*/Profile Name=Site Only/' -e 's/^Resource Location=.*/Resource Location=1/' \
    "$HARBEX_HOME/Profiles/Whole Site.hxp" >"$HARBEX_HOME/Profiles/Site Only.hxp"

# Runs one copy; sets $seconds, $lookups and $errors.
copy() {
    local profile=$1 name=$2 log=$work/$2.log timing=$work/$2.time status=0
    /usr/bin/time -v -o "$timing" "$harbex" copy "$url" --profile "$profile" --folder "$work/$name" --name "$name" \
        "${copy_options[@]}" >"$log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$(basename "$0"): the $profile copy failed ($status):" >&2
        cat "$log" >&2
        exit 1
    fi
    seconds=$(wall_seconds "$timing")
    lookups=$(sed -n 's/^  Hosts: *\([0-9]*\) looked up.*/\1/p' "$log")
    lookups=${lookups:-0}
    errors=$(sed -n 's/^  \(Pages\|Media\):.*(\([0-9]*\) errors).*/\2/p' "$log" | awk '{ s += $1 } END { print s + 0 }')
}

echo "Python documentation ($pages pages) on 127.0.0.1:$port, harbex-cli copy ${copy_options[*]}"
copy "Site Only" site-only
site_seconds=$seconds site_lookups=$lookups site_errors=$errors
copy "Whole Site" whole-site
whole_seconds=$seconds whole_lookups=$lookups whole_errors=$errors

printf '%-12s %9s %8s %7s\n' profile "time (s)" lookups errors
printf '%-12s %9s %8s %7s\n' "Site Only" "$site_seconds" "$site_lookups" "$site_errors"
printf '%-12s %9s %8s %7s\n' "Whole Site" "$whole_seconds" "$whole_lookups" "$whole_errors"
ratio=$(awk -v w="$whole_seconds" -v s="$site_seconds" 'BEGIN { printf "%.2f", (s > 0) ? w / s : 0 }')
verdict=$(awk -v r="$ratio" 'BEGIN { print (r <= 1.5 ? "met" : "NOT met") }')
echo "Whole Site / Site Only = $ratio (goal <= 1.50: $verdict)"
