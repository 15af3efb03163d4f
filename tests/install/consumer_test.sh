#!/usr/bin/env bash
# Installs the build into a scratch prefix, builds the consumer project
# against it with find_package(contribution) and runs it.
set -euo pipefail
build=$1
consumer=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$consumer" -B "$prefix/consumer-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$prefix/consumer-build" >/dev/null
"$prefix/consumer-build/consumer"
