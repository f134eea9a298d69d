#!/bin/sh
# The store is the lowest floor beside the platform seams: it includes only itself, the seams
# and the standard library; the seams include only themselves. A higher folder reached from
# here (the texts, the meter link, Qt) would turn the layers upside down.
set -eu
root="$1"
bad="$(grep -Hn '#include [<"]' "$root"/store/*.h "$root"/store/*.cpp "$root"/platform/*.h |
    grep '#include "' | grep -v '#include "store/' | grep -v '#include "platform/' || true)"
qt="$(grep -Hn '#include <Q' "$root"/store/*.h "$root"/store/*.cpp "$root"/platform/*.h || true)"
seam="$(grep -Hn '#include "store/' "$root"/platform/*.h || true)"
[ -z "$bad$qt$seam" ] && { echo "store/ and platform/ include nothing above them"; exit 0; }
printf '%s\n' "$bad" "$qt" "$seam" | grep -v '^$'
exit 1
