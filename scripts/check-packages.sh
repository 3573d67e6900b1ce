#!/usr/bin/env bash
# Checks release artifacts before they are handed out:
#  - a .deb (amd64 with the LV2 bundle, or the VST 2 plug-in alone for i386) holds exactly the expected files with the
#    expected modes, names the project's version and its architecture, and depends on the
#    package of every library its binaries load (the dependencies are computed by
#    dpkg-shlibdeps at packaging time, each with a minimum version);
#  - a Windows .zip holds one folder with Corvalen.dll for the right machine, the README,
#    the copyright notice and the installation notes.
#
#   scripts/check-packages.sh ARTIFACT...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
version=$(sed -n 's/^project(Corvalen VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[[ -n $version ]] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL $artifact: $*"; failures=$((failures + 1)); }

check_deb() {
    local deb=$1 arch triple binaries
    local listing="$work/listing" expected="$work/expected"
    # amd64: both plug-ins and corvalen-render; i386 (the 32-bit build has no tools and no LV2):
    # the VST 2 plug-in.
    arch=$(sed -n 's/.*_\([a-z0-9]*\)\.deb$/\1/p' <<<"$deb")
    case $arch in
        amd64) triple=x86_64-linux-gnu binaries=(usr/bin/corvalen-render usr/bin/corvalen-play usr/lib/vst/Corvalen.so
            usr/lib/lv2/corvalen.lv2/corvalen.so) ;;
        i386) triple=i386-linux-gnu binaries=(usr/lib/vst/Corvalen.so) ;;
        *) fail "name does not end in _amd64.deb or _i386.deb"; return ;;
    esac
    # Files only (no folders): mode, owner and path.
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort >"$listing"
    {
        cat <<LIST
-rw-r--r-- root/root ./usr/lib/vst/Corvalen.so
-rw-r--r-- root/root ./usr/share/doc/corvalen/README.md
-rw-r--r-- root/root ./usr/share/doc/corvalen/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/corvalen/copyright
LIST
        [[ $arch == i386 ]] || cat <<LIST
-rw-r--r-- root/root ./usr/lib/lv2/corvalen.lv2/corvalen.so
-rw-r--r-- root/root ./usr/lib/lv2/corvalen.lv2/corvalen.ttl
-rw-r--r-- root/root ./usr/lib/lv2/corvalen.lv2/manifest.ttl
-rw-r--r-- root/root ./usr/lib/lv2/corvalen.lv2/presets.ttl
-rw-r--r-- root/root ./usr/share/man/man1/corvalen-play.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/corvalen-render.1.gz
-rwxr-xr-x root/root ./usr/bin/corvalen-play
-rwxr-xr-x root/root ./usr/bin/corvalen-render
LIST
    } | sort >"$expected"
    diff -u "$expected" "$listing" >"$work/diff" || fail "file list differs:$(printf '\n%s' "$(cat "$work/diff")")"

    local field value
    for field in Package:corvalen "Version:$version" "Architecture:$arch"; do
        value=$(dpkg-deb -f "$deb" "${field%%:*}")
        [[ $value == "${field#*:}" ]] || fail "${field%%:*} is '$value', expected '${field#*:}'"
    done

    local depends
    depends=$(dpkg-deb -f "$deb" Depends)
    [[ -n $depends ]] || fail "no Depends field"
    local each
    while read -r each; do
        # An alternative a library's symbols file names (libjack-jackd2-0 (>= ...) |
        # libjack-0.125) needs its version on the first choice only.
        [[ ${each%% |*} =~ ^[a-z0-9.+-]+\ \(\>=\ [^\)]+\)$ ]] || fail "dependency '$each' has no computed minimum version"
    done < <(tr ',' '\n' <<<"$depends" | sed 's/^ *//')

    # Every shared library the binaries load must come from a package named in Depends.
    # dpkg knows a file by the path its package ships, with or without /usr first, so every
    # form is asked for in one (slow) query of dpkg's database.
    rm -rf "$work/root" && dpkg-deb -x "$deb" "$work/root"
    local binary library path forms=() needed=()
    for binary in "${binaries[@]/#/$work/root/}"; do
        for library in $(readelf -d "$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
            path=$(ldconfig -p | awk -v lib="$library" -v dir="/$triple/" \
                '!seen && $1 == lib && index($NF, dir) {print $NF; seen = 1}')
            [[ -n $path ]] || { fail "$(basename "$binary") needs $library, which ldconfig does not know"; continue; }
            needed+=("$(basename "$binary") $library $path")
            forms+=("$path" "/usr${path#/usr}" "${path#/usr}" "$(readlink -f "$path")")
        done
    done
    dpkg -S "${forms[@]}" 2>/dev/null | sed 's/:[a-z0-9]*: /: /' >"$work/owners" || true
    local entry owner
    for entry in "${needed[@]}"; do
        read -r binary library path <<<"$entry"
        owner=$(awk -F': ' -v a="$path" -v b="/usr${path#/usr}" -v c="${path#/usr}" \
            '$2 == a || $2 == b || $2 == c {print $1; exit}' "$work/owners")
        [[ -n $owner ]] || { fail "no package found for $library ($path)"; continue; }
        tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$owner" ||
            fail "$binary needs $library from $owner, which Depends does not name"
    done
    echo "$artifact: $(wc -l <"$listing") files, Depends: $depends"
}

check_zip() {
    local zip=$1 name target machine
    name=$(basename "$zip" .zip)
    target=${name##*-windows-}
    case $target in
        x64) machine=8664 ;;
        i686) machine=014c ;;
        *) fail "name does not end in -windows-x64 or -windows-i686"; return ;;
    esac
    [[ $name == "Corvalen-$version-windows-$target" ]] || fail "name does not carry version $version"
    # Entries, folders left out.
    cmake -E tar tf "$zip" | grep -v '/$' | sort >"$work/listing"
    printf '%s\n' "$name/COPYRIGHT.txt" "$name/Corvalen.dll" "$name/INSTALL.txt" "$name/README.md" |
        sort >"$work/expected"
    diff -u "$work/expected" "$work/listing" >"$work/diff" || fail "entries differ:$(printf '\n%s' "$(cat "$work/diff")")"

    # The DLL's machine field (PE header at the offset stored at 0x3c, machine 4 bytes in).
    mkdir -p "$work/zip" && (cd "$work/zip" && cmake -E tar xf "$zip")
    local dll="$work/zip/$name/Corvalen.dll" offset found
    if [[ -f $dll ]]; then
        offset=$(od -An -tu4 -j 60 -N4 "$dll" | tr -d ' ')
        found=$(od -An -tx2 -j $((offset + 4)) -N2 "$dll" | tr -d ' ')
        [[ $(head -c 2 "$dll") == MZ && $found == "$machine" ]] ||
            fail "Corvalen.dll is not a $target DLL (machine $found)"
    fi
    rm -rf "$work/zip"
    echo "$artifact: $(wc -l <"$work/listing") files, DLL for $target"
}

[[ $# -gt 0 ]] || { echo "usage: $0 ARTIFACT..." >&2; exit 2; }
for artifact in "$@"; do
    artifact=$(readlink -f "$artifact")
    case $artifact in
        *.deb) check_deb "$artifact" ;;
        *.zip) check_zip "$artifact" ;;
        *) fail "not a .deb or .zip" ;;
    esac
done
[[ $failures -eq 0 ]] || { echo "$failures problem(s) found"; exit 1; }
