#!/usr/bin/env bash
# Installs the program into a scratch root and checks what a user gets there.
#   check_install.sh tree BUILD_DIR SOURCE_DIR   cmake --install --prefix SCRATCH/usr
#   check_install.sh deb BUILD_DIR SOURCE_DIR    scripts/package, then dpkg -x SCRATCH
# Every check runs; the exit code is 1 when any failed.
set -uo pipefail
mode="$1" build="$2" src="$3"
scratch="$(mktemp -d "${TMPDIR:-/tmp}/velqa-install.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
root="$scratch/usr"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
have() { command -v "$1" >/dev/null 2>&1; }

case "$mode" in
  tree)
    if ! cmake --install "$build" --prefix "$root" >"$scratch/install.log" 2>&1; then
      cat "$scratch/install.log" >&2
      exit 1
    fi
    ;;
  deb)
    if ! deb="$(VELQA_BUILD_DIR="$build" "$src/scripts/package" --no-build "$scratch/out" 2>"$scratch/package.log")"; then
      cat "$scratch/package.log" >&2
      exit 1
    fi
    dpkg-deb -x "$deb" "$scratch" || exit 1
    dpkg-deb -e "$deb" "$scratch/control" || exit 1
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = velqa ] || fail "package name is '$(field Package)'"
    [ -n "$(field Section)" ] || fail "no Section"
    [[ "$(field Maintainer)" == *"<"*"@"*">" ]] || fail "Maintainer '$(field Maintainer)' has no address"
    [ "$(field Description | wc -l)" -ge 2 ] || fail "Description has no long text"
    depends="$(field Depends)"
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/[ |].*//' >"$scratch/depends"
    # Every library the programs link directly must come from a package the .deb depends on.
    for exe in "$root"/bin/*; do
      for soname in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        lib="$(ldd "$exe" | awk -v n="$soname" '$1 == n { print $3 }')"
        owner="$(dpkg -S "$lib" 2>/dev/null || dpkg -S "$(readlink -f "$lib")" 2>/dev/null)"
        owner="${owner%%:*}"
        if [ -z "$owner" ]; then
          fail "$(basename "$exe") links $soname, which no Debian package provides"
        elif ! grep -qxF "$owner" "$scratch/depends"; then
          fail "$(basename "$exe") links $soname from $owner, which Depends lacks: $depends"
        fi
      done
    done
    grep -q "qt6-qpa-plugins" <<<"$depends" || fail "Depends lacks the Qt platform plugins"
    for pkg in libcurl4 libssl3 libglib2.0-0 libxtst6; do
      grep -qxF "$pkg" "$scratch/depends" || fail "Depends lacks $pkg, opened at run time"
    done
    # Debian's documentation of the package (lintian itself ran in scripts/package).
    doc="$root/share/doc/velqa"
    zcat "$doc/changelog.Debian.gz" 2>/dev/null | head -n 1 | grep -q "^velqa ($(field Version))" ||
      fail "changelog.Debian.gz does not start with version $(field Version)"
    grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
      "$doc/copyright" 2>/dev/null || fail "copyright is not machine-readable"
    [ -f "$root/share/lintian/overrides/velqa" ] || fail "no lintian overrides"
    for script in postinst postrm; do
      [ -x "$scratch/control/$script" ] || { fail "no executable $script"; continue; }
      grep -q "udevadm control --reload-rules" "$scratch/control/$script" ||
        fail "$script does not reload the udev rules"
      # A container without udev: the maintainer script must still succeed.
      env -i PATH=/nonexistent /bin/sh "$scratch/control/$script" configure ||
        fail "$script fails without udevadm"
    done
    # Purge removes the copy of our rule that "Allow access" wrote into /etc, and only that.
    etc_rules="$scratch/purge/etc/udev/rules.d"
    mkdir -p "$etc_rules"
    cp "$src/packaging/70-zarn-velqa-r260.rules" "$etc_rules/"
    printf '# the administrator'"'"'s\n' >"$etc_rules/other.rules"
    env -i PATH=/usr/bin:/bin DPKG_ROOT="$scratch/purge" /bin/sh "$scratch/control/postrm" remove
    [ -f "$etc_rules/70-zarn-velqa-r260.rules" ] || fail "postrm remove deleted the rule in /etc"
    env -i PATH=/usr/bin:/bin DPKG_ROOT="$scratch/purge" /bin/sh "$scratch/control/postrm" purge
    [ -e "$etc_rules/70-zarn-velqa-r260.rules" ] && fail "postrm purge left our rule in /etc"
    echo '# edited' >>"$etc_rules/other.rules"
    cp "$etc_rules/other.rules" "$etc_rules/70-zarn-velqa-r260.rules"
    env -i PATH=/usr/bin:/bin DPKG_ROOT="$scratch/purge" /bin/sh "$scratch/control/postrm" purge
    [ -f "$etc_rules/70-zarn-velqa-r260.rules" ] || fail "postrm purge deleted a rule not ours"
    grep -q "pkexec" <<<"$(field Recommends)" || fail "Recommends lacks pkexec (\"Allow access\")"
    ;;
  *)
    echo "usage: $0 tree|deb BUILD_DIR SOURCE_DIR" >&2
    exit 2
    ;;
esac

# Programs and data.
for exe in velqa velqactl velqa-sim; do
  [ -x "$root/bin/$exe" ] || fail "bin/$exe missing"
done
data="$root/share/velqa"
for f in skin/res.xml skin/lan_en.xml skin/lan_cn.xml DefaultData/Language.config; do
  [ -e "$data/$f" ] || fail "share/velqa/$f missing"
done
(cd "$src" && find DefaultData skin -type f ! -name .gitkeep ! -path 'skin/svg/*' | sort) >"$scratch/want"
(cd "$data" && find DefaultData skin -type f | sort) >"$scratch/got"
diff "$scratch/want" "$scratch/got" >&2 || fail "installed data differs from the source tree's"
[ -z "$(find "$data" -type l)" ] || fail "share/velqa holds symbolic links"
# Documentation goes to share/doc only.
stray="$(find "$root" -path "$root/share/doc" -prune -o -path "$root/share/man" -prune -o \
  -type f \( -iname 'README*' -o -name '*.md' -o -iname 'LICENSE*' \) -print)"
[ -z "$stray" ] || fail "documentation outside share/doc: $stray"

# Desktop entry and icons.
desktop="$root/share/applications/velqa.desktop"
if [ -f "$desktop" ]; then
  if have desktop-file-validate; then
    desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate rejects velqa.desktop"
  fi
  # The entry's Exec and its actions' each start an installed program.
  for exec_name in $(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop"); do
    [ -x "$root/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  done
  icon="$(sed -n 's/^Icon=//p' "$desktop")"
  [ -f "$root/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon $icon"
  sizes=0
  for png in "$root"/share/icons/hicolor/*x*/apps/"$icon".png; do
    [ -f "$png" ] || continue
    dir="$(basename "$(dirname "$(dirname "$png")")")"
    # Width and height are the big-endian words at bytes 16 and 20 of a PNG.
    read -r w h < <(od -An -tu1 -j16 -N8 "$png" |
      awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [ "${w}x${h}" = "$dir" ] || fail "$dir icon is ${w}x${h}"
    sizes=$((sizes + 1))
  done
  for size in 16 22 24 32 48 64 128 256; do
    [ -f "$root/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] || fail "no ${size}x${size} icon"
  done
  grep -q "^Keywords=" "$desktop" || fail "velqa.desktop has no Keywords"
  grep -q "^Exec=velqa --hidden$" "$desktop" || fail "velqa.desktop has no action for velqa --hidden"
else
  fail "share/applications/velqa.desktop missing"
fi

# AppStream metadata.
meta="$root/share/metainfo/com.zarn.VelqaR260.metainfo.xml"
if [ -f "$meta" ]; then
  if xmllint --noout "$meta"; then
    for member in id name summary description metadata_license project_license; do
      [ -n "$(xmllint --xpath "string(/component/$member)" "$meta" | tr -d '[:space:]')" ] ||
        fail "metainfo has no <$member>"
    done
    [ "$(xmllint --xpath 'string(/component/@type)' "$meta")" = desktop-application ] ||
      fail "metainfo is not a desktop-application"
    launch="$(xmllint --xpath 'string(/component/launchable[@type="desktop-id"])' "$meta")"
    [ -f "$root/share/applications/$launch" ] || fail "launchable '$launch' is not installed"
    [[ "$(xmllint --xpath 'string(/component/releases/release[1]/@version)' "$meta")" =~ ^[0-9]+\.[0-9]+ ]] ||
      fail "metainfo release has no version"
  else
    fail "metainfo is not well-formed XML"
  fi
  if have appstreamcli; then
    appstreamcli validate --no-net "$meta" >&2 || fail "appstreamcli rejects the metainfo"
  fi
else
  fail "metainfo missing"
fi

# Manual pages (compressed, each naming its program) and velqactl's completions.
for exe in velqa velqactl velqa-sim; do
  page="$root/share/man/man1/$exe.1.gz"
  if [ -f "$page" ]; then
    zcat "$page" | grep -q "^\.TH ${exe^^} \"1\"" || fail "$exe.1.gz is not the page of $exe"
  else
    fail "share/man/man1/$exe.1.gz missing"
  fi
done
for completion in bash-completion/completions/velqactl zsh/vendor-completions/_velqactl \
  fish/vendor_completions.d/velqactl.fish; do
  grep -qs "velqactl __complete" "$root/share/$completion" || fail "share/$completion missing"
done

# udev rule: seat access through uaccess, applied before 73-seat-late.rules.
rules=("$root"/lib/udev/rules.d/*.rules)
if [ ${#rules[@]} -eq 1 ] && [ -f "${rules[0]}" ]; then
  rule="${rules[0]}"
  number="$(basename "$rule" | sed -n 's/^\([0-9][0-9]\)-.*/\1/p')"
  [ -n "$number" ] && [ "$((10#$number))" -lt 73 ] || fail "$(basename "$rule") is not numbered below 73"
  body="$(grep -v '^[[:space:]]*#' "$rule" | grep -v '^[[:space:]]*$')"
  grep -q 'TAG+="uaccess"' <<<"$body" || fail "udev rule does not tag uaccess"
  grep -Eq 'MODE|GROUP|OWNER' <<<"$body" && fail "udev rule sets MODE, GROUP or OWNER"
  grep -q 'SUBSYSTEM=="hidraw"' <<<"$body" || fail "udev rule is not limited to hidraw"
  # The rule, the metainfo and the program must agree on the mouse's vendor.
  vendor="$(sed -n 's/.*"MakerVendorId"[[:space:]]*:[[:space:]]*"\([0-9A-Fa-f]*\)".*/\1/p' \
    "$src/DefaultData/DeviceConfig.json")"
  grep -qi "ATTRS{idVendor}==\"$vendor\"" <<<"$body" || fail "udev rule is not for vendor $vendor"
  grep -qi "usb:v${vendor}p" "$meta" || fail "metainfo modalias is not for vendor $vendor"
else
  fail "expected one udev rule in lib/udev/rules.d, found ${#rules[@]}"
fi

# "Allow access": the udev helper in libexec and the polkit action that names the package's path.
helper="$root/libexec/velqa/velqa-udev-helper"
[ -x "$helper" ] || fail "libexec/velqa/velqa-udev-helper missing"
policy="$root/share/polkit-1/actions/com.zarn.velqa.udev-helper.policy"
if [ -f "$policy" ] && xmllint --noout "$policy"; then
  [ "$(xmllint --xpath 'string(//annotate[@key="org.freedesktop.policykit.exec.path"])' "$policy")" = \
    /usr/libexec/velqa/velqa-udev-helper ] || fail "polkit action does not name the helper's path"
else
  fail "polkit action for the udev helper missing or not well-formed"
fi
# velqactl, kept from a mouse it may not open, names the installed helper beside the commands.
if [ -x "$helper" ] && [ -x "$root/bin/velqa-sim" ] && [ -x "$root/bin/velqactl" ]; then
  sim_dir="$scratch/sim"
  mkdir -p "$sim_dir"
  "$root/bin/velqa-sim" --dir "$sim_dir" --link cable >"$scratch/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 200); do
    [ "$(find "$sim_dir" -name '*.json' | wc -l)" -ge 2 ] && break
    sleep 0.1
  done
  chmod 000 "$sim_dir"/*.sock
  # Root opens anything: the check runs as nobody then, which needs a way into the tree.
  as_user=()
  if [ "$(id -u)" -eq 0 ]; then
    chmod 755 "$scratch" "$sim_dir"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  (cd / && "${as_user[@]}" env -i PATH=/usr/bin:/bin HOME=/nonexistent VELQA_HID="sim:$sim_dir" \
    "$root/bin/velqactl" list) >"$scratch/denied.log" 2>&1
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  grep -q "sudo udevadm control --reload" "$scratch/denied.log" ||
    fail "velqactl list does not print the udev commands: $(cat "$scratch/denied.log")"
  grep -q "to allow access, run: .*$helper\$" "$scratch/denied.log" ||
    fail "velqactl list does not name the udev helper: $(cat "$scratch/denied.log")"
fi

# The installed program, started from elsewhere with nothing pointing at the build tree, finds its
# data in share/velqa: the factory AudioFile.json (marked here) becomes the user's copy, and the
# screenshot of the simulated mouse's page is written.
if [ -x "$root/bin/velqa" ]; then
  home="$scratch/home"
  mkdir -p "$home/tmp"
  factory="$data/DefaultData/AudioFile.json"
  sed -i '0,/{/s//{ "InstalledCopy" : 1,/' "$factory"
  # Sanitizer builds keep their options (the thread sanitizer's suppressions for Qt).
  keep=()
  for var in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS; do
    [ -n "${!var:-}" ] && keep+=("$var=${!var}")
  done
  (cd / && env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" QT_QPA_PLATFORM=offscreen \
    VELQA_DEBUG=1 "${keep[@]}" timeout 120 "$root/bin/velqa" --simulate --screenshot "$scratch/shot.png") \
    >"$scratch/run.log" 2>&1
  rc=$?
  [ "$rc" -eq 0 ] || fail "installed velqa --simulate --screenshot exited $rc"
  [ "$(head -c 8 "$scratch/shot.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
    fail "no PNG screenshot"
  grep -q "running without" "$scratch/run.log" && fail "the installed velqa-sim was not used"
  grep -q "no usable MakerVendorId" "$scratch/run.log" && fail "DeviceConfig.json was not found"
  grep -q '"InstalledCopy"' "$home/.local/share/ZARN_VELQA_R260/AudioFile.json" 2>/dev/null ||
    fail "the user's AudioFile.json does not come from share/velqa"
  [ "$failures" -eq 0 ] || tail -n 40 "$scratch/run.log" >&2
fi
# velqactl too: its first profile is a copy of the factory profile in share/velqa.
if [ -x "$root/bin/velqactl" ]; then
  cli_home="$scratch/cli-home"
  mkdir -p "$cli_home"
  (cd / && env -i PATH=/usr/bin:/bin HOME="$cli_home" "$root/bin/velqactl" profile list) \
    >"$scratch/cli.log" 2>&1 || fail "installed velqactl profile list failed: $(cat "$scratch/cli.log")"
  grep -qs '"DPIStages"' "$cli_home"/.local/share/ZARN_VELQA_R260/mouse/*.Json ||
    fail "velqactl's first profile is not the factory profile from share/velqa"
fi

[ "$failures" -eq 0 ] && echo "install ($mode): all checks passed"
[ "$failures" -eq 0 ]
