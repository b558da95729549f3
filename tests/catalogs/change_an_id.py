# SPDX-License-Identifier: MIT
# Copies a library file with the id of the first message of one catalog changed:
# change_an_id.py LIBRARY COPY
import re
import sys

data = bytearray(open(sys.argv[1], "rb").read())
identity = bytes.fromhex(re.search(rb"\.ytrace_luids_([0-9a-f]{32})", data)[1].decode())
# The catalog's section: u16le version 1, u16le ordinal, the identity, then per
# message a u32le id and a u16le length.
section = re.search(rb"\x01\x00..(?=" + re.escape(identity) + rb")", data, re.DOTALL).start()
data[section + 20] ^= 1
open(sys.argv[2], "wb").write(data)
