#!/usr/bin/env bash
# Makes i386 ELF programs executable on this machine, which 32-bit wine needs (it starts its
# own i386 loader). Does nothing when they already run (natively or through an existing
# binfmt_misc entry); otherwise registers qemu-i386 with binfmt_misc, which needs root and
# lasts until reboot. Exits non-zero when i386 programs still cannot run afterwards.
set -euo pipefail

binfmt=/proc/sys/fs/binfmt_misc
# Inside a chroot or a fresh mount namespace binfmt_misc may be unmounted although the kernel
# runs i386 programs through an entry registered outside. Mounting it shows that entry, which
# the cross test script reads to learn that i386 programs run under qemu.
if [[ $(id -u) -eq 0 && -d $binfmt && ! -e $binfmt/register ]]; then
    mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
fi

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
echo 'int main(void) { return 0; }' >"$probe_dir/probe.c"
if ! gcc -m32 -o "$probe_dir/probe" "$probe_dir/probe.c" 2>/dev/null; then
    echo "binfmt-i386: cannot build an i386 probe (is g++-multilib installed?)" >&2
    exit 1
fi
"$probe_dir/probe" 2>/dev/null && exit 0

qemu=$(command -v qemu-i386 || true)
if [[ -z "$qemu" ]]; then
    echo "binfmt-i386: i386 programs do not run here and qemu-i386 is missing" >&2
    exit 1
fi
if [[ $(id -u) -ne 0 ]]; then
    echo "binfmt-i386: i386 programs do not run here; registering qemu-i386 needs root" >&2
    exit 1
fi

[[ -e $binfmt/register ]] || mount -t binfmt_misc binfmt_misc "$binfmt"
[[ -e $binfmt/status && $(cat "$binfmt/status") == enabled ]] || echo 1 >"$binfmt/status"
if [[ ! -e $binfmt/qemu-i386 ]]; then
    # ELF header of a 32-bit little-endian x86 executable or shared object (e_machine 3).
    # Flag F opens the interpreter now, so the entry also works inside other mount namespaces.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    echo ":qemu-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register"
fi

if ! "$probe_dir/probe"; then
    echo "binfmt-i386: registered qemu-i386 but i386 programs still do not run" >&2
    exit 1
fi
echo "binfmt-i386: i386 programs now run through $qemu"
