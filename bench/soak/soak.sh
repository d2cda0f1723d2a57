#!/usr/bin/env bash
"$(cd "$(dirname "$0")/../.." && pwd)/build/${PRESET:-default}/bench/soak/link_soak" "$@"
