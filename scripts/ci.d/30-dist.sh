#!/usr/bin/env bash
# The release package, unpacked, goes through the conformance suite, a render of every preset and an install.
set -euo pipefail
make dist
scripts/check-dist
