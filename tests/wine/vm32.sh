#!/usr/bin/env bash
# vm32.sh [CTEST_REGEX]: runs the win-x86 build's Wine scenarios on a machine
# whose kernel refuses 32-bit code, inside a virtual machine that runs it:
# qemu with plain emulation (TCG; KVM could not boot a guest here), Debian's
# kernel and a busybox initramfs that mounts this machine's root read-only
# over 9p under a tmpfs overlay and chroots into it. About six times slower
# than a native 32-bit Wine. Writes the CTest log to build/vm32/ctest.log.
# An experiment for finding x86 faults, not part of the test command; needs
# qemu-system-x86, linux-image-amd64 and busybox-static.
# TP_VM32_RUN='COMMAND' runs that shell command in the guest instead of CTest
# (from the repository, log build/vm32/run.log): for chasing one fault.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
regex=${1:-wine}
run=${TP_VM32_RUN:-}
# Emulation is some six times slower: every deadline of the harness and the scenarios stretches so much.
slow=${TP_WINE_SLOW:-6}
out=$repo/build/vm32
kernel=$(ls /boot/vmlinuz-* 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] || { echo "vm32: no kernel in /boot (linux-image-amd64)" >&2; exit 2; }
version=${kernel#/boot/vmlinuz-}
command -v qemu-system-x86_64 >/dev/null || { echo "vm32: qemu-system-x86_64 missing" >&2; exit 2; }
[ -x /bin/busybox ] || { echo "vm32: busybox-static missing" >&2; exit 2; }
[ -d "$repo/build/win-x86/tests/wine" ] || { echo "vm32: build the win-x86 preset first" >&2; exit 2; }

rm -rf "$out"
mkdir -p "$out/initramfs/bin" "$out/initramfs/modules"
cp /bin/busybox "$out/initramfs/bin/"
# virtio_ring first: each module after what it needs.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci 9pnet 9pnet_virtio
         netfs fscache 9p overlay)
for m in "${modules[@]}"; do
  f=$(find "/lib/modules/$version" -name "$m.ko*" | head -1)
  [ -n "$f" ] || { echo "vm32: module $m missing" >&2; exit 2; }
  case $f in
    *.xz) xz -dc "$f" >"$out/initramfs/modules/$m.ko" ;;
    *) cp "$f" "$out/initramfs/modules/$m.ko" ;;
  esac
done
cat >"$out/initramfs/init" <<INIT
#!/bin/busybox sh
/bin/busybox --install -s /bin
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev
for m in ${modules[*]}; do insmod /modules/\$m.ko || echo "vm32: insmod \$m failed"; done
mkdir -p /lower /rw /root
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose host0 /lower
mount -t tmpfs -o size=3g tmpfs /rw
mkdir -p /rw/upper /rw/work
mount -t overlay overlay -o lowerdir=/lower,upperdir=/rw/upper,workdir=/rw/work /root
mount -t 9p -o trans=virtio,version=9p2000.L out /root$out
for d in proc sys dev; do mount --bind /\$d /root/\$d; done
mount -t devpts devpts /root/dev/pts 2>/dev/null
mount -t tmpfs tmpfs /root/tmp; mkdir -p /root/dev/shm; mount -t tmpfs tmpfs /root/dev/shm
chroot /root /bin/bash $out/inside.sh
sync
poweroff -f
INIT
chmod +x "$out/initramfs/init"
# What runs in the guest, on its writable copy of this machine: the probe (yes there), the
# tests' time limits stretched, the scenarios, and the harness's logs copied out.
cat >"$out/inside.sh" <<INSIDE
cd $repo
export HOME=/root PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin TP_WINE_SLOW=$slow
bash tests/wine/probe32.sh --record
find build/win-x86/tests/wine -name CTestTestfile.cmake -exec \
  perl -pi -e 's/TIMEOUT "(\d+)"/"TIMEOUT \"" . (\$1 * $slow) . "\""/ge' {} +
if [ -n ${run@Q} ]; then
  bash -c ${run@Q} >$out/run.log 2>&1
  echo "run exit \$?" >>$out/run.log
else
  ctest --test-dir build/win-x86 -R '$regex' --output-on-failure >$out/ctest.log 2>&1
  echo "ctest exit \$?" >>$out/ctest.log
fi
cp -r build/win-x86/tests/wine/work/logs $out/ 2>/dev/null
INSIDE
mkdir -p "$out/initramfs/proc" "$out/initramfs/sys" "$out/initramfs/dev"
(cd "$out/initramfs" && find . | cpio -o -H newc --quiet | gzip -1) >"$out/initramfs.gz"
echo "vm32: booting $version, running ctest -R '$regex' in the win-x86 build (log: $out/ctest.log)"
qemu-system-x86_64 -accel tcg -cpu qemu64 -m 4096 -smp 2 -nographic -no-reboot \
  -kernel "$kernel" -initrd "$out/initramfs.gz" -append "console=ttyS0 quiet panic=-1" \
  -virtfs local,path=/,mount_tag=host0,security_model=none,readonly=on,multidevs=remap \
  -virtfs local,path="$out",mount_tag=out,security_model=none,multidevs=remap \
  >"$out/console.log" 2>&1 </dev/null
# The probe inside the VM wrote only to its overlay: this machine's answer stands.
if [ -n "$run" ]; then
  tail -n 3 "$out/run.log" 2>/dev/null || { echo "vm32: no log (see $out/console.log)" >&2; exit 1; }
  grep -q '^run exit 0$' "$out/run.log"
  exit
fi
tail -n 3 "$out/ctest.log" 2>/dev/null || { echo "vm32: no log (see $out/console.log)" >&2; exit 1; }
grep -q '^ctest exit 0$' "$out/ctest.log"
