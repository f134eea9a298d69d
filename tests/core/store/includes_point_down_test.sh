#!/bin/sh
# The store is the lowest floor beside the platform seams: it includes only itself, the seams
# and the standard library; the seams include only themselves. A higher folder reached from
# here (the texts, the meter link, Qt) would turn the layers upside down.
set -eu
root="$1"
bad="$(grep -Hn '#include [<"]' "$root"/src/core/store/*.h "$root"/src/core/store/*.cpp "$root"/src/platform/*.h |
    grep '#include "' | grep -v '#include "core/store/' | grep -v '#include "platform/' || true)"
qt="$(grep -Hn '#include <Q' "$root"/src/core/store/*.h "$root"/src/core/store/*.cpp "$root"/src/platform/*.h || true)"
seam="$(grep -Hn '#include "core/store/' "$root"/src/platform/*.h || true)"
[ -z "$bad$qt$seam" ] && { echo "core/store/ and platform/ include nothing above them"; exit 0; }
printf '%s\n' "$bad" "$qt" "$seam" | grep -v '^$'
exit 1
