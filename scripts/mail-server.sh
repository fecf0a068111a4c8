#!/usr/bin/env bash
# Starts a real POP3 server (Dovecot) on 127.0.0.1 with a few sample mails, the same one the
# tests use, so the mail watch can be tried by hand. It prints the server, port, account and
# password to type into the "E-mail" section of the client's "Configurer" page; Ctrl-C stops it
# and removes its folder.
#
#   scripts/mail-server.sh [--port N] [--user U] [--password P]
#
# Without --port a free port is taken. The account is "cabinet" / "s3cret" unless given.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/configure-lib.sh
build=${ORVALIS_BUILD_DIR:-build}
configure_build "$build"
cmake --build "$build" --target sample-mailbox >/dev/null
exec "$build/bin/sample-mailbox" "$@"
