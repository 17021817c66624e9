#!/bin/sh
# Installs the build into a scratch prefix and checks the installed program:
#   - the editor, the writer, pi.wav and Slides/ in the program's own folder;
#   - bin/videokadro, a relative link to the editor, starts it and the editor finds the
#     writer beside its real path (also through a second link somewhere else);
#   - the launcher, file type, software centre entry, icons and the bus service file in
#     their standard places, and the file type usable by update-mime-database.
# Usage: install_test.sh BUILD_DIR
set -u
build="$1"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vkinstall.XXXXXX") || exit 1
trap 'rm -rf "$scratch"' EXIT
prefix="$scratch/prefix"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  cat "$scratch/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

appdir=$(dirname "$(find "$prefix" -path '*/videokadro/videokadro' -type f | head -n 1)")
[ -n "$appdir" ] && [ "$appdir" != . ] || { echo "FAIL: no installed editor" >&2; exit 1; }
for f in videokadro T-VideoWrite; do
  [ -x "$appdir/$f" ] || fail "$appdir/$f missing or not executable"
done
for f in pi.wav Slides/Black.bmp Slides/Grey.bmp Slides/White.bmp; do
  [ -s "$appdir/$f" ] || fail "$appdir/$f missing"
done

link="$prefix/bin/videokadro"
[ -L "$link" ] || fail "bin/videokadro is not a symbolic link"
target=$(readlink "$link")
case "$target" in
  /*) fail "bin/videokadro points to an absolute path: $target" ;;
esac
[ "$(readlink -f "$link")" = "$(readlink -f "$appdir/videokadro")" ] || fail "bin/videokadro does not lead to the editor"

# The editor says where it starts the writer from; started through the link, and through
# a link to the link elsewhere, it must still be its own folder.
mkdir -p "$scratch/elsewhere"
ln -s "$link" "$scratch/elsewhere/vk"
expected="$(readlink -f "$appdir")/T-VideoWrite"
for start in "$link" "$scratch/elsewhere/vk"; do
  # An installer may ask from a session without a display.
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$start" --print-writer-path 2>"$scratch/err")
  status=$?
  [ "$status" -eq 0 ] || { cat "$scratch/err" >&2; fail "$start --print-writer-path exited with $status"; }
  [ "$(readlink -f "$out")" = "$expected" ] || fail "$start looks for the writer at '$out', not '$expected'"
done
# The writer it names runs (no arguments: it only says how it is used).
QT_QPA_PLATFORM=offscreen VK_WRITER_NO_DIALOGS=1 "$expected" >/dev/null 2>"$scratch/writer.err" </dev/null
grep -q 'T-VideoWrite <' "$scratch/writer.err" || { cat "$scratch/writer.err" >&2; fail "the installed writer does not start"; }

share="$prefix/share"
for f in applications/jp.talmor.videokadro.desktop mime/packages/jp.talmor.videokadro.xml \
         metainfo/jp.talmor.videokadro.metainfo.xml icons/hicolor/scalable/apps/jp.talmor.videokadro.svg \
         dbus-1/services/TlmVideoKadro.Kadro.service; do
  [ -s "$share/$f" ] || fail "share/$f missing"
done
for n in 16 24 32 48 64 128 256; do
  png="$share/icons/hicolor/${n}x${n}/apps/jp.talmor.videokadro.png"
  [ -s "$png" ] || { fail "$png missing"; continue; }
  size=$(identify -format '%wx%h' "$png" 2>/dev/null)
  [ "$size" = "${n}x${n}" ] || fail "$png is $size, not ${n}x${n}"
done
grep -qx "Exec=$(readlink -f "$appdir")/videokadro -Embedding" "$share/dbus-1/services/TlmVideoKadro.Kadro.service" ||
  grep -qx "Exec=$appdir/videokadro -Embedding" "$share/dbus-1/services/TlmVideoKadro.Kadro.service" ||
  fail "the bus service file does not name the installed editor: $(cat "$share/dbus-1/services/TlmVideoKadro.Kadro.service")"

# The launcher's command is the one in bin/, and the file type is one the system can use.
grep -qx 'Exec=videokadro %f' "$share/applications/jp.talmor.videokadro.desktop" || fail "launcher command"
update-mime-database "$share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the file type"
grep -q '\*\.rem' "$share/mime/globs2" 2>/dev/null || fail "*.rem not in the installed file types"

[ "$failures" -eq 0 ] || { echo "$failures failure(s)" >&2; exit 1; }
echo "installed layout and start through bin/ ok"
