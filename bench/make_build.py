#!/usr/bin/env python3
"""Writes a deterministic, realistic build into a folder: a 32 MB source
archive with an archive table, about 1,000 data files of 48 MB in all (text,
tile graphics, binary tables, already-compressed bytes) and a conf.txt that
places them in modes Z, A and raw, points a table entry at each with an O
patch and adds some P patches.

    make_build.py FOLDER [--files N] [--total-mb M] [--source-mb S]
"""
import argparse
import os
import random

WORDS = (b"the hero takes a sword from old castle and walks north . \n Princess "
         b"says: \"Thank you!\" gold 100 potion inn sleep save ").split(b" ")


def text_pool(rng, size):
    out = bytearray()
    while len(out) < size:
        out += b" ".join(rng.choice(WORDS) for _ in range(64)) + b"\n"
    return bytes(out[:size])


def tile_pool(rng, size):
    out = bytearray()
    while len(out) < size:
        style = rng.randrange(4)
        colour = rng.randrange(16)
        for row in range(8):
            if style == 2:
                out += rng.randbytes(4)
            elif style == 1:
                out += bytes([(colour << 4) | ((colour + row) & 15)]) * 4
            else:
                out += bytes([(colour << 4) | colour]) * 4
    return bytes(out[:size])


def table_pool(rng, size):
    out = bytearray()
    record = 0
    while len(out) < size:
        out += record.to_bytes(4, "little") + rng.randrange(100, 150).to_bytes(4, "little")
        out += (rng.getrandbits(32) if rng.randrange(4) == 0 else 0).to_bytes(4, "little")
        out += b"\xff\xff\x00\x00"
        record += 1
    return bytes(out[:size])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--files", type=int, default=1000)
    parser.add_argument("--total-mb", type=float, default=48)
    parser.add_argument("--source-mb", type=float, default=32)
    args = parser.parse_args()
    rng = random.Random(20261211)
    os.makedirs(os.path.join(args.folder, "data"), exist_ok=True)

    pool_size = 4 << 20
    pools = {"text": text_pool(rng, pool_size), "tiles": tile_pool(rng, pool_size),
             "tables": table_pool(rng, pool_size), "packed": rng.randbytes(pool_size)}
    # (kind, mode, relative size): headed streams stay small enough for their
    # 2-byte length; already-compressed bytes are placed raw.
    plan = [("text", "A", 1), ("tiles", "A", 1), ("text", "Z", 4), ("tiles", "Z", 4),
            ("tables", "Z", 4), ("packed", "R", 3)]
    weights = []
    for i in range(args.files):
        kind, mode, relative = plan[i % len(plan)]
        weights.append((kind, mode, relative * rng.uniform(0.5, 1.5)))
    scale = args.total_mb * (1 << 20) / sum(w for _, _, w in weights)

    source_size = int(args.source_mb * (1 << 20))
    table_offset = 0x1000
    data_offset = (table_offset + 4 * args.files + 0xFFFF) & ~0xFFFF
    with open(os.path.join(args.folder, "base.bin"), "wb") as f:
        f.write(rng.randbytes(source_size))

    script = [f"{data_offset:X}", f"{table_offset:X}", "base.bin out.bin",
              '#"generated build: one D and one O per file"']
    total = 0
    for i, (kind, mode, weight) in enumerate(weights):
        size = int(weight * scale)
        if mode == "A":
            size = min(size, 40000)
        start = rng.randrange(pool_size - size)
        name = f"data/{kind}{i:04d}.bin"
        with open(os.path.join(args.folder, name), "wb") as f:
            f.write(pools[kind][start:start + size])
        total += size
        script.append(f"D {name} N {mode}")
        script.append(f"O A{i} 4 D{name}")
        if i % 50 == 0:
            script.append(f'P +D{name} 0 "{i & 0xFF:02X} 00"')
    script.append(f'P P10 "48 41 43 4B"')
    with open(os.path.join(args.folder, "conf.txt"), "w") as f:
        f.write("\n".join(script) + "\n")
    print(f"{args.files} data files, {total / (1 << 20):.1f} MB of data, "
          f"{source_size / (1 << 20):.0f} MB source, in {args.folder}")


if __name__ == "__main__":
    main()
