#!/usr/bin/env bash
# Re-renders the cross-target phrase natively and records its SHA-256 as the hash every target
# must match (tests/cross/phrase.sha256). Run it only after an intended change of the sound,
# and say so in the commit.
set -euo pipefail
cd "$(dirname "$0")/../.."
render=$(mktemp)
trap 'rm -f "$render"' EXIT
scripts/cross/render-native.sh "$render" >/dev/null
hash=$(sha256sum "$render" | cut -d' ' -f1)
cat >tests/cross/phrase.sha256 <<END
# SHA-256 of tests/cross phrase as rendered on x86-64 Linux by corvalen-cross-render.
# Regenerate after an intended change of the sound: scripts/cross/update-golden.sh
$hash
END
echo "tests/cross/phrase.sha256: $hash"
