#!/usr/bin/env bash
# The concurrency tests (CTest label "concurrency") under ThreadSanitizer.
set -euo pipefail
make tsan
