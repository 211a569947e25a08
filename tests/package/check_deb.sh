#!/usr/bin/env bash
# Checks the Debian package with lintian (no errors allowed; warnings are
# listed), installs it for real, runs both programs from PATH, reads their
# manual pages and completions, removes the package and checks that nothing
# of it is left.   usage: check_deb.sh PACKAGE.deb
set -euo pipefail
deb=$(readlink -f "$1")
name=$(dpkg-deb --field "$deb" Package)
fail() { echo "FAIL: $*"; exit 1; }

dpkg-deb --info "$deb"
command -v lintian >/dev/null || fail "lintian is not installed"
status=0; report=$(lintian --fail-on error --display-info "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" = 0 ] || fail "lintian found errors"
contents=$(dpkg-deb --contents "$deb")
echo "$contents"
doc=./usr/share/doc/$name
for path in ./usr/bin/txmorph ./usr/bin/timecarry ./usr/share/man/man1/txmorph.1.gz \
            ./usr/share/man/man1/timecarry.1.gz ./usr/share/bash-completion/completions/txmorph \
            ./usr/share/bash-completion/completions/timecarry "$doc/copyright" \
            "$doc/changelog.Debian.gz"; do
  grep -q " $path\$" <<<"$contents" || fail "the package lacks $path"
done

if dpkg -s "$name" >/dev/null 2>&1; then dpkg -r "$name" >/dev/null; fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
hash -r

status=0; txmorph -h 2>/dev/null || status=$?
[ "$status" = 241 ] || fail "txmorph -h exited with $status"
status=0; timecarry >/dev/null || status=$?
[ "$status" = 130 ] || fail "timecarry exited with $status"
out=$(printf 'caf\xc3\xa9\n' | txmorph -q -ou -r | od -An -tx1 | tr -d ' \n')
[ "$out" = "636166c3a90a" ] || fail "txmorph from PATH gave $out"
work=$(mktemp -d)
touch -d '2001-02-03 04:05:06' "$work/src"
touch "$work/dst"
timecarry "$work/src" "$work/dst" >/dev/null
[ "$(stat -c %Y "$work/src")" = "$(stat -c %Y "$work/dst")" ] || fail "timecarry did not carry the time"
rm -rf "$work"

man -w txmorph >/dev/null || fail "man finds no txmorph page"
man -w timecarry >/dev/null || fail "man finds no timecarry page"
MANPAGER=cat man txmorph 2>/dev/null | grep -q "txmorph" || fail "the txmorph page does not render"
bash -c 'source /usr/share/bash-completion/completions/timecarry && complete -p timecarry' \
  >/dev/null || fail "the timecarry completion does not load"

dpkg -r "$name" >/dev/null
hash -r
for path in /usr/bin/txmorph /usr/bin/timecarry /usr/share/man/man1/txmorph.1.gz; do
  [ ! -e "$path" ] || fail "$path is left after removal"
done
! command -v txmorph >/dev/null || fail "txmorph is still on PATH"
echo "package $name: installed, used and removed cleanly"
