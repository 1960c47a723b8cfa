#!/usr/bin/env bash
# Installs the built program the way users get it and checks the result as a desktop would:
#   1. `cmake --install` into a temporary DESTDIR: every file in its place, and nothing else;
#   2. the desktop entry and the AppStream data validate, the manual page renders without a
#      warning and documents every command and option that --help shows;
#   3. the installed program finds the built-in themes from its own prefix, also after the prefix
#      was moved, and never falls back to the build tree;
#   4. uninstalling from the install manifest leaves no file behind;
#   5. the Debian package (built once): its fields, its file list, no maintainer scripts, no
#      lintian error, its dependencies installable here, and an install, run and purge in a
#      private dpkg database.
# Usage: check-install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
app_id=com.tapwell.Tapwell
work=$(mktemp -d)
failures=0

# An install rewrites the build tree's install_manifest.txt, which `make uninstall` reads later:
# keep the one a real install left there.
manifest="$build/install_manifest.txt"
if [ -e "$manifest" ]; then
  cp -p "$manifest" "$work/manifest.saved"
fi
cleanup() {
  if [ -e "$work/manifest.saved" ]; then
    cp -p "$work/manifest.saved" "$manifest"
  else
    rm -f "$manifest"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
step() {
  echo "[$SECONDS s]"
  echo "== $*"
}

# The program run as a user would, with its own home and no override of the resource folder.
run_tapwell() {
  local program=$1
  shift
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" \
    XDG_DATA_HOME="$work/home/data" TAPWELL_LOG=off "$program" "$@"
}

# Succeeds when `themes --json` of the program lists every built-in theme as loaded.
finds_builtin_themes() {
  local output
  output=$(run_tapwell "$1" themes --json) || return 1
  local theme
  for theme in "${themes[@]}"; do
    grep -q "\"folder\": \"$theme\"" <<<"$output" || return 1
  done
  [ "$(grep -c '"failure": null' <<<"$output")" -eq "${#themes[@]}" ]
}

themes=()
for manifest_file in "$source"/resources/themes/*/theme.json; do
  themes+=("$(basename "$(dirname "$manifest_file")")")
done
[ "${#themes[@]}" -ge 4 ] || fail "expected at least four built-in themes, found ${#themes[@]}"
sizes=(16 22 24 32 48 64 128 256)

# --- 1. the installed files ---------------------------------------------------------------------
step "install into a temporary DESTDIR"
dest="$work/dest"
DESTDIR="$dest" cmake --install "$build" --prefix /usr >"$work/install.log"
prefix="$dest/usr"

expected=(
  bin/tapwell
  lib/tapwell/modules/libtapwell-desktop.so
  lib/tapwell/modules/libtapwell-icu.so
  lib/tapwell/modules/libtapwell-pulse.so
  lib/tapwell/modules/libtapwell-sdl.so
  lib/tapwell/modules/libtapwell-sndfile.so
  lib/tapwell/modules/libtapwell-soxr.so
  lib/tapwell/modules/libtapwell-zip.so
  "share/applications/$app_id.desktop"
  "share/metainfo/$app_id.metainfo.xml"
  "share/icons/hicolor/scalable/apps/$app_id.svg"
  "share/icons/hicolor/symbolic/apps/$app_id-symbolic.svg"
  share/man/man1/tapwell.1.gz
  share/doc/tapwell/LICENSE
)
for size in "${sizes[@]}"; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for language in en zh-Hans ja; do
  expected+=("share/tapwell/$language.lproj/Localizable.json")
done
for theme in "${themes[@]}"; do
  expected+=("share/tapwell/$theme/theme.json")
done

for file in "${expected[@]}"; do
  [ -s "$prefix/$file" ] || fail "$file is missing or empty"
done
[ -x "$prefix/bin/tapwell" ] || fail "bin/tapwell is not executable"
# Besides the expected files, only the themes' audio.
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/installed.txt"
printf '%s\n' "${expected[@]}" | sort >"$work/expected.txt"
unexpected=$(comm -23 "$work/installed.txt" "$work/expected.txt" |
  grep -Ev "^share/tapwell/($(IFS='|'; echo "${themes[*]}"))/[^/]+\.wav$" || true)
[ -z "$unexpected" ] || fail "unexpected installed files: $unexpected"
for theme in "${themes[@]}"; do
  ls "$prefix/share/tapwell/$theme/"*.wav >/dev/null 2>&1 || fail "theme $theme has no audio"
done
for size in "${sizes[@]}"; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
  file --brief "$png" | grep -q "PNG image data, $size x $size," ||
    fail "$png is not a $size x $size PNG: $(file --brief "$png")"
done

# --- 2. desktop entry, AppStream data, manual page -----------------------------------------------
step "desktop entry and AppStream data"
desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop-file-validate"
grep -q '^StartupWMClass=tapwell$' "$prefix/share/applications/$app_id.desktop" ||
  fail "the desktop entry lacks StartupWMClass=tapwell"
grep -q "^Icon=$app_id$" "$prefix/share/applications/$app_id.desktop" ||
  fail "the desktop entry does not name the icon $app_id"
for key in Name Comment Keywords GenericName; do
  for language in zh_CN ja; do
    grep -q "^$key\[$language\]=." "$prefix/share/applications/$app_id.desktop" ||
      fail "the desktop entry has no $key[$language]"
  done
done
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" ||
  fail "appstreamcli validate"
# With a base URL the screenshots are listed, and the result still validates.
cmake -DIN="$source/resources/linux/$app_id.metainfo.xml.in" -DOUT="$work/shots.metainfo.xml" \
  -DSCREENSHOT_BASE_URL=https://screenshots.tapwell.invalid/0.1/ \
  -P "$source/resources/linux/Metainfo.cmake"
appstreamcli validate --no-net "$work/shots.metainfo.xml" || fail "metainfo with screenshots"
for shot in popover-en-light.png settings-general-en-light.png recap-en-light.png; do
  grep -q "<image type=\"source\">https://screenshots.tapwell.invalid/0.1/$shot</image>" \
    "$work/shots.metainfo.xml" || fail "the screenshot $shot is not listed"
done

step "manual page"
man_page="$prefix/share/man/man1/tapwell.1.gz"
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$man_page" 2>&1 \
  >/dev/null) || fail "man could not render the page"
[ -z "$warnings" ] || fail "man warns: $warnings"
zcat "$man_page" >"$work/tapwell.1"
# Every command and option that --help shows is documented, found in the page's roff source
# (where a hyphen is written \-).
documents() {
  grep -qF -- "$1" "$work/tapwell.1"
}
check_help() {
  local help
  help=$(run_tapwell "$prefix/bin/tapwell" "$@" --help) || {
    fail "tapwell $* --help failed"
    return
  }
  if [ $# -gt 0 ]; then
    documents ".SS \"tapwell $*" || fail "the manual page has no section for 'tapwell $*'"
  fi
  local option
  for option in $(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    documents "${option//-/\\-}" || fail "the manual page does not mention $option (tapwell $*)"
  done
  local command
  # Subcommand lines are indented by two spaces; wrapped descriptions by many more.
  for command in $(sed -n '/^Subcommands:/,$p' <<<"$help" | awk '/^  [a-z][a-z-]* / { print $1 }'); do
    check_help "$@" "$command"
  done
}
check_help

# --- 3. the installed program and its resources ---------------------------------------------------
step "the installed program finds its themes"
finds_builtin_themes "$prefix/bin/tapwell" || fail "the installed program lacks the built-in themes"
moved="$work/elsewhere/deeper/prefix"
mkdir -p "$moved"
cp -a "$prefix/." "$moved/"
finds_builtin_themes "$moved/bin/tapwell" || fail "the moved prefix lacks the built-in themes"
# The recap card is drawn by the desktop module, found in the program's own lib/tapwell/modules.
draws_recap() {
  run_tapwell "$1" recap --png "$2" >/dev/null &&
    file --brief "$2" | grep -q "PNG image data, 1080 x 1440,"
}
draws_recap "$moved/bin/tapwell" "$work/moved-recap.png" ||
  fail "the moved program cannot draw the recap card through its desktop module"
rm -rf "$moved/share/tapwell"
if run_tapwell "$moved/bin/tapwell" themes --json >"$work/no-resources.txt" 2>&1; then
  fail "without share/tapwell the program still found themes: $(cat "$work/no-resources.txt")"
fi

# --- 4. uninstalling -------------------------------------------------------------------------------
step "uninstall from the install manifest"
DESTDIR="$dest" cmake -DMANIFEST="$manifest" -P "$source/cmake/Uninstall.cmake" >/dev/null
left=$(find "$dest" -type f -o -type l)
[ -z "$left" ] || fail "files left after uninstalling: $left"
[ ! -e "$prefix/share/tapwell" ] || fail "share/tapwell is left after uninstalling"

# --- 5. the Debian package -------------------------------------------------------------------------
step "the Debian package"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log"
  fail "cpack failed"
  exit 1
}
deb=$(ls "$work"/package/*.deb)
version=$(run_tapwell "$build/src/app/tapwell" --version)
version=${version#tapwell }
field() {
  dpkg-deb --field "$deb" "$1"
}
[ "$(field Package)" = tapwell ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture is $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section is $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6widgets6 libsdl2-2.0-0 libasound2 libsndfile1 libsoxr0 \
  libpulse0 libpipewire-0.3-0 \
  libicu72 tzdata; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
! grep -q -- '-dev' <<<"$depends" || fail "Depends names a development package: $depends"
controls=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v '^\./$' | sort | tr '\n' ' ')
[ "$controls" = "./control ./md5sums " ] || fail "unexpected control files: $controls"
# The package holds what `make install` installs, with Debian's copyright and changelog in place
# of the plain license.
dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | sort \
  >"$work/package.txt"
(grep -v '^share/doc/tapwell/LICENSE$' "$work/installed.txt"
  printf '%s\n' share/doc/tapwell/copyright share/doc/tapwell/changelog.gz) | sort \
  >"$work/package-expected.txt"
diff -u "$work/package-expected.txt" "$work/package.txt" || fail "the package's files differ"
lintian --tag-display-limit 0 "$deb" >"$work/lintian.txt" 2>&1 || true
grep -E '^[EW]: ' "$work/lintian.txt" || true
! grep -q '^E: ' "$work/lintian.txt" || fail "lintian reports errors"
apt-get install --simulate --no-install-recommends "$deb" >"$work/apt.txt" 2>&1 ||
  fail "the package's dependencies cannot be met here: $(tail -5 "$work/apt.txt")"
# Install, run and purge through dpkg in a private database and root.
admin="$work/dpkg/admin"
root="$work/dpkg/root"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers" "$root"
touch "$admin/status" "$admin/available"
dpkg_private() {
  dpkg --admindir="$admin" --instdir="$root" --force-depends --force-script-chrootless "$@" \
    >>"$work/dpkg.log" 2>&1
}
dpkg_private --install "$deb" || fail "dpkg could not install the package: $(tail -5 "$work/dpkg.log")"
finds_builtin_themes "$root/usr/bin/tapwell" || fail "the packaged program lacks the built-in themes"
draws_recap "$root/usr/bin/tapwell" "$work/package-recap.png" ||
  fail "the packaged program cannot draw the recap card through its desktop module"
dpkg_private --purge tapwell || fail "dpkg could not purge the package"
left=$(find "$root" -mindepth 1)
[ -z "$left" ] || fail "left after purging the package: $left"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install checks passed in $SECONDS s"
