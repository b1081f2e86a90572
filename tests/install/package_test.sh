#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch directory and runs the unpacked programs from
# there (they find their own proxy library, not the build tree's), tries the desktop launcher, and
# has lintian check the package.
set -uo pipefail
src=$1 build=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/qob-package-test.XXXXXX")
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$scratch"; }
trap cleanup EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

rm -f "$build"/tarn-manager_*.deb
if ! cmake --build "$build" --target package >"$scratch/package.log" 2>&1; then
  sed 's/^/| /' "$scratch/package.log"; echo "FAIL: the package did not build"; exit 1
fi
deb=$(ls "$build"/tarn-manager_*.deb)
root="$scratch/root"
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x"; exit 1; }
dpkg-deb -f "$deb" Depends >"$scratch/depends"
for lib in libexpat1 libsmbclient libc6; do
  grep -q "$lib" "$scratch/depends" || fail "Depends lacks $lib: $(cat "$scratch/depends")"
done

for f in usr/bin/qob-cli usr/bin/zentsim usr/lib/*/tarn-manager/libzentproxy.so \
         usr/share/applications/tarn-manager.desktop usr/libexec/tarn-manager/launch \
         usr/share/tarn-manager/readme.txt usr/share/doc/tarn-manager/guide.html \
         usr/share/doc/tarn-manager/copyright usr/share/icons/hicolor/48x48/apps/tarn-manager.png \
         usr/share/man/man1/qob.1.gz usr/share/man/man1/qob-cli.1.gz usr/share/man/man1/zentsim.1.gz; do
  compgen -G "$root/$f" >/dev/null || fail "the package has no $f"
done
grep -q 'src="screenshots/' "$root/usr/share/doc/tarn-manager/guide.html" &&
  for img in $(grep -oE 'src="screenshots/[^"]+"' "$root/usr/share/doc/tarn-manager/guide.html" | cut -d'"' -f2); do
    [ -f "$root/usr/share/doc/tarn-manager/$img" ] || fail "the guide shows $img, which the package lacks"
  done

export QOB_REGISTRY_DIR="$scratch/registry"
"$root/usr/bin/qob-cli" --help | grep -q "usage: qob-cli" || fail "the unpacked qob-cli --help"
"$root/usr/bin/zentsim" --help 2>&1 | grep -q "usage: zentsim" || fail "the unpacked zentsim --help"
# Registration names the unpacked library: the programs' run path leads to it.
"$root/usr/bin/qob-cli" register || fail "the unpacked qob-cli register exited $?"
grep -q "$root/usr/lib/.*/tarn-manager/libzentproxy.so" "$QOB_REGISTRY_DIR/HKCR.reg" ||
  fail "the registry does not name the unpacked library: $(grep -i zentproxy "$QOB_REGISTRY_DIR/HKCR.reg")"

if [ -x "$root/usr/bin/qob" ]; then
  # From the desktop: the launcher makes the data directory with the probe file and starts qob there.
  export XDG_DATA_HOME="$scratch/data" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$scratch/runtime"
  mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
  "$root/usr/libexec/tarn-manager/launch" >"$scratch/qob.out" 2>&1 &
  pids+=($!)
  sleep 3
  if kill -0 "${pids[-1]}" 2>/dev/null; then
    [ "$(readlink "/proc/${pids[-1]}/cwd")" = "$scratch/data/tarn-manager" ] ||
      fail "qob runs in $(readlink "/proc/${pids[-1]}/cwd"), not the data directory"
    kill -TERM "${pids[-1]}"
  else
    fail "the unpacked qob did not stay up: $(cat "$scratch/qob.out")"
  fi
  [ -f "$scratch/data/tarn-manager/readme.txt" ] || fail "the launcher made no probe file"
else
  echo "note: this tree builds no qob; the launcher and qob were not tried"
fi

if command -v lintian >/dev/null; then
  lintian --fail-on error --suppress-tags-from-file /dev/null "$deb" >"$scratch/lintian.txt" 2>&1 ||
    fail "lintian reports errors: $(cat "$scratch/lintian.txt")"
  grep -E '^[EW]:' "$scratch/lintian.txt" | head -20
  # The binaries are built hardened and installed without what they do not need: no fortify, RELRO,
  # immediate binding, PIE or unneeded-section tag, even at info level.
  lintian --display-info --suppress-tags-from-file /dev/null "$deb" >"$scratch/lintian-info.txt" 2>&1
  if grep -E 'hardening-no-(fortify-functions|bindnow|relro|pie)|binary-has-unneeded-section' "$scratch/lintian-info.txt" >"$scratch/hardening.txt"; then
    fail "lintian finds binaries built without hardening or with unneeded sections: $(cat "$scratch/hardening.txt")"
  fi
else
  echo "lintian is not installed (scripts/bootstrap installs it): its check was skipped"
fi
[ $status = 0 ] && echo "package: $(basename "$deb") built, unpacked and run"
exit $status
