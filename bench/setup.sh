#!/bin/sh
# Installs what the benchmark program needs: Google Benchmark and the peers it measures against.
set -e
apt-get update
apt-get install -y libbenchmark-dev libyuv-dev libpixman-1-dev libstb-dev
