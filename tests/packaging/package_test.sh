#!/usr/bin/env bash
# Builds the Debian package from a build tree, unpacks it into a temporary folder and runs
# the programs from there as an installation would: their versions, the README's worked
# example (its output compared with the README's, byte for byte), the desktop entry, and
# lintian (errors fail; warnings are printed).
# Usage: tests/packaging/package_test.sh BUILD_DIR
set -euo pipefail
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build_dir="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "package test: $*" >&2; exit 1; }

made="$(cd "$build_dir" && cpack -G DEB -B "$work/package" 2>&1)" || { echo "$made" >&2; fail "cpack failed"; }
arch="$(dpkg --print-architecture)"
deb="$(ls "$work"/package/polizas_*_"$arch".deb 2>/dev/null | head -n 1)"
[[ -n "$deb" ]] || fail "cpack made no polizas_VERSION_$arch.deb"
root="$work/root"
dpkg-deb -x "$deb" "$root"

# The programs must find their component beside themselves, not through the environment.
unset NV407_PLUGIN
version="$(sed -n 's/^project(polizas VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")"
for program in polizas polizas-db polizas-report polizas-script; do
  [[ -x "$root/usr/bin/$program" ]] || fail "$program is not in usr/bin"
  line="$("$root/usr/bin/$program" --version)" || fail "$program --version failed"
  [[ "$line" == "$program $version"* ]] || fail "$program --version says: $line"
  "$root/usr/bin/$program" --help >/dev/null || fail "$program --help failed"
  [[ -f "$root/usr/share/man/man1/$program.1.gz" ]] || fail "no manual page for $program"
done

doc="$root/usr/share/doc/polizas"
"$root/usr/bin/polizas-db" init "$work/demo.db" --demo >/dev/null
LD_DEBUG=files "$root/usr/bin/polizas-script" --db "$work/demo.db" --clock 2024-03-15T10:30:00 \
  "$doc/examples/new_and_find.jsonl" >"$work/output.jsonl" 2>"$work/loaded.txt"
loaded="$(sed -n 's/.*file=\([^ ]*nv407[^ ]*\).*dynamically loaded.*/\1/p' "$work/loaded.txt" | head -n 1)"
[[ "$loaded" == "$root/"* ]] || fail "polizas-script loaded the component from ${loaded:-nowhere}"
# The README's block that follows "Its output, exactly".
awk '/^Its output, exactly/ { found = 1 } found && /^```$/ { if (inside) exit; inside = 1; next }
     inside { print }' "$doc/README.md" >"$work/expected.jsonl"
[[ -s "$work/expected.jsonl" ]] || fail "the README holds no example output"
diff -u "$work/expected.jsonl" "$work/output.jsonl" >&2 ||
  fail "the installed polizas-script does not write the README's example output"

# The installed manuals' links (the README's pictures and manual, the manual's pictures)
# lead to installed files.
while IFS= read -r page; do
  while IFS= read -r target; do
    [[ -e "$(dirname "$page")/$target" ]] || fail "${page#"$doc/"} links to $target, not installed"
  done < <(grep -o '](\([^)]*\))' "$page" | sed 's/^](//; s/)$//; s/#.*//' | grep -v '^$\|^[a-z]*:')
done < <(find "$doc" -name '*.md')
[[ -f "$doc/docs/manual/finder.png" ]] || fail "the manual's pictures are not installed"

# The installed report reads the demo the installed polizas-db made.
"$root/usr/bin/polizas-report" --db "$work/demo.db" --format csv history mty-6 >"$work/history.csv" ||
  fail "the installed polizas-report failed"
grep -q '^MTY-000005,Cancelada,' "$work/history.csv" ||
  fail "the installed polizas-report does not follow the demo's chain"

# What the window loads without linking it: Qt's Spanish texts, the design font's match.
dpkg-deb -f "$deb" Depends | grep -q 'qt6-translations-l10n' ||
  fail "the package does not depend on Qt's translations"
dpkg-deb -f "$deb" Recommends | grep -q 'fonts-crosextra-carlito' ||
  fail "the package does not recommend the design font's match"

desktop-file-validate "$root/usr/share/applications/polizas.desktop" ||
  fail "the desktop entry is not valid"
for size in 16 32 48 64 128 256; do
  [[ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/polizas.png" ]] ||
    fail "no ${size}x${size} icon"
done

report="$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true)"
[[ -z "$report" ]] || echo "$report"
if grep -q '^E: ' <<<"$report"; then fail "lintian reports errors"; fi
echo "package test: $(basename "$deb") installs and runs"
