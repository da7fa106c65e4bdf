#!/usr/bin/env bash
# Runs access_tests as a normal user against a real udisksd and polkitd, on
# a private system bus of the test's own, and takes it all down again:
#   tests/access/udisks-session.sh build/tests/access_tests
#
# As root it makes: a user of its own; three read-only loop devices over
# files in a temporary folder (one polkit lets that user open, two it
# refuses); a polkit rule saying so, in /etc/polkit-1/rules.d (polkitd
# reads rules from nowhere else); a dbus-daemon on a socket in the folder;
# polkitd and udisksd on that bus. udisksd lists only block devices udev
# has a database entry for, so without udevd each loop device gets an empty
# one. Nothing is started through the bus (no service activation).
# On exit every process, loop device, file, rule and the user are removed.
# Exits 77 (skipped) where the machine cannot do this, saying why.
set -uo pipefail

binary=${1:?usage: $0 <access_tests binary>}
skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "needs root to start udisksd and polkitd and to attach loop devices"
udisksd=/usr/libexec/udisks2/udisksd
polkitd=/usr/lib/polkit-1/polkitd
for tool in "$udisksd" "$polkitd" dbus-daemon setpriv useradd userdel losetup; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (udisks2, polkitd, dbus-daemon, util-linux, passwd)"
done
[ -e /dev/loop-control ] || skip "no /dev/loop-control"
[ -d /etc/polkit-1/rules.d ] || skip "no /etc/polkit-1/rules.d"

work=$(mktemp -d /tmp/mdi-udisks-XXXXXX)
chmod 755 "$work"
user="mdiacc$$"
rule="/etc/polkit-1/rules.d/00-mdi-access-test-$$.rules"
loops=()
udev_entries=()
made_udev_dirs=()
pids=()

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  for e in "${udev_entries[@]}"; do rm -f "$e"; done
  for d in "${made_udev_dirs[@]}"; do rmdir "$d" 2>/dev/null; done
  rm -f "$rule"
  userdel "$user" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

useradd --no-create-home --home-dir "$work" --shell /usr/sbin/nologin "$user" || skip "useradd failed"

# The drives: 3 MiB and a bit of distinct bytes each, read-only loop devices
# over root's files in a folder the user may write to (so that only the
# run's own checks keep an image from landing on one of them).
mkdir "$work/drives" && chown "$user:" "$work/drives"
for name in granted refused-a refused-b unasked; do
  head -c $((3 * 1024 * 1024 + 4096)) /dev/urandom >"$work/drives/$name.img"
  chmod 644 "$work/drives/$name.img"
  loop=$(losetup -f --show -r "$work/drives/$name.img") || skip "losetup could not attach a loop device"
  loops+=("$loop")
  # udisksd's view of the device without udevd: an empty database entry.
  majmin=$(cat "/sys/class/block/${loop#/dev/}/dev")
  for d in /run/udev /run/udev/data; do
    [ -d "$d" ] || { mkdir "$d" && made_udev_dirs=("$d" "${made_udev_dirs[@]}"); }
  done
  : >"/run/udev/data/b$majmin"
  udev_entries+=("/run/udev/data/b$majmin")
done
granted=${loops[0]}
unasked=${loops[3]}

# The operator's answer, without a prompt: yes for the first drive, no for
# the next two; the last is left to the stock policy, which wants the
# administrator's password, and no agent is there to ask for it. Written
# before polkitd starts, so it is read at once.
cat >"$rule" <<EOF
polkit.addRule(function(action, subject) {
  if (subject.user != "$user") return polkit.Result.NOT_HANDLED;
  if (action.id != "org.freedesktop.udisks2.open-device" &&
      action.id != "org.freedesktop.udisks2.open-device-system") return polkit.Result.NOT_HANDLED;
  if (action.lookup("device") == "$granted") return polkit.Result.YES;
  if (action.lookup("device") == "$unasked") return polkit.Result.NOT_HANDLED;
  return polkit.Result.NO;
});
EOF
chmod 644 "$rule"

# A system bus of our own: the stock policy, its own socket, no activation.
sed -e "s|<listen>.*</listen>|<listen>unix:path=$work/bus</listen>|" \
  -e '/<user>/d' -e '/<fork\/>/d' -e '/<pidfile>/d' -e '/<syslog\/>/d' \
  -e '/<servicehelper>/d' -e '/<standard_system_servicedirs\/>/d' \
  -e 's|<includedir>system.d</includedir>|<includedir>/usr/share/dbus-1/system.d</includedir>|' \
  /usr/share/dbus-1/system.conf >"$work/system.conf"
dbus-daemon --config-file="$work/system.conf" --nofork --nopidfile >"$work/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$work/bus"
for _ in $(seq 50); do [ -S "$work/bus" ] && break; sleep 0.1; done
[ -S "$work/bus" ] || { cat "$work/dbus.log"; echo "the private system bus did not start"; exit 1; }

owned() { dbus-send --system --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q "boolean true"; }
wait_owned() {
  for _ in $(seq 100); do owned "$1" && return 0; sleep 0.1; done
  return 1
}
"$polkitd" --no-debug >"$work/polkit.log" 2>&1 &
pids+=($!)
wait_owned org.freedesktop.PolicyKit1 || { cat "$work/polkit.log"; echo "polkitd did not start"; exit 1; }
"$udisksd" >"$work/udisks.log" 2>&1 &
udisks_pid=$!
pids+=("$udisks_pid")
wait_owned org.freedesktop.UDisks2 || { cat "$work/udisks.log"; echo "udisksd did not start"; exit 1; }

# The binary is copied where the user may run it from; the tests write
# under the temporary directory, the user's own.
cp "$binary" "$work/access_tests" && chmod 755 "$work/access_tests"
status=0
as_user() {
  (cd "$work" && setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all \
    env -u DBUS_SESSION_BUS_ADDRESS HOME="$work" USER="$user" LOGNAME="$user" TMPDIR=/tmp \
    DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" QT_QPA_PLATFORM=offscreen \
    MDI_ACCESS_GRANTED="$granted" MDI_ACCESS_REFUSED_A="${loops[1]}" MDI_ACCESS_REFUSED_B="${loops[2]}" MDI_ACCESS_UNASKED="$unasked" \
    MDI_ACCESS_GRANTED_FILE="$work/drives/granted.img" "$@" ./access_tests --gtest_filter="$filter" >>"$work/tests.log" 2>&1)
}
filter='AsUser.*' as_user || status=$?
# Then without udisksd: the bus says nobody owns its name.
kill "$udisks_pid"
wait "$udisks_pid" 2>/dev/null
for _ in $(seq 50); do owned org.freedesktop.UDisks2 || break; sleep 0.1; done
filter='WithoutUdisks.*' as_user MDI_ACCESS_UDISKS_STOPPED=1 || status=$?
cat "$work/tests.log"
# Here nothing may skip: that would be a run that never reached udisks2.
if grep -q '^\[  SKIPPED \]' "$work/tests.log"; then
  echo "a test skipped under the session"
  status=1
fi
if [ "$status" -ne 0 ]; then
  echo "--- udisksd:"
  cat "$work/udisks.log"
  echo "--- polkitd:"
  cat "$work/polkit.log"
fi
exit "$status"
