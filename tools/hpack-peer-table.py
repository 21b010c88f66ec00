#!/usr/bin/python3
"""Writes the Huffman codes of RFC 7541 as an independent coder gives them
(Debian's python3-hpack), for the HPACK tests to check ours against: one
line per text, "<text in hex> <its Huffman code in hex>". Every byte value
appears, alone and beside others, so a wrong code length for a rare byte
shows. Run with Debian's python3:
  /usr/bin/python3 tools/hpack-peer-table.py > tests/engine/hpack/huffman_peer.txt
"""
import random

from hpack.huffman import HuffmanEncoder
from hpack.huffman_constants import REQUEST_CODES, REQUEST_CODES_LENGTH

encoder = HuffmanEncoder(REQUEST_CODES, REQUEST_CODES_LENGTH)
texts = [bytes([b]) for b in range(256)]
texts += [bytes([b, b, b]) + b"a" for b in range(256)]
texts.append(bytes(range(256)))
rng = random.Random(7541)
texts += [bytes(rng.randrange(256) for _ in range(rng.randrange(1, 80))) for _ in range(64)]
for text in texts:
    print(text.hex(), encoder.encode(text).hex())
