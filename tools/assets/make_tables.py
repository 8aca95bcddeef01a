#!/usr/bin/env python3
"""Writes the three spawn tables: one row per difficulty level 0 to 15 and a
last row for bonus time, comma separated, ending with END.

The curve: a few slow single items at first, so a new player learns to turn;
each five-second level shortens the gaps and makes pairs and triples of
items likelier, until level 15 throws dumbbells about twice a second."""

import os
import sys

# coin.txt: steady coins/s, burst min, burst bound, burst reroll s, direction reroll s
COIN = [
    (3, 0, 4, 3, 2), (3, 0, 5, 3, 2), (4, 0, 6, 3, 2), (4, 1, 7, 3, 2),
    (5, 1, 8, 3, 2), (5, 2, 9, 2, 2), (6, 2, 10, 2, 2), (6, 3, 11, 2, 2),
    (7, 3, 12, 2, 2), (7, 4, 13, 2, 1), (8, 4, 14, 2, 1), (8, 5, 15, 2, 1),
    (9, 5, 16, 2, 1), (9, 6, 17, 1, 1), (10, 6, 18, 1, 1), (10, 7, 20, 1, 1),
    (20, 10, 30, 1, 1),  # bonus time: a shower of coins
]

# dollar.txt and dumbbell.txt: weights of 1, 2, 3 items, min s, max s, unused
DOLLAR = [
    (10, 0, 0, 2.5, 4.0, 0), (10, 0, 0, 2.4, 3.8, 0), (9, 1, 0, 2.2, 3.6, 0), (8, 2, 0, 2.0, 3.4, 0),
    (8, 2, 0, 2.0, 3.2, 0), (7, 3, 0, 1.8, 3.0, 0), (7, 3, 0, 1.8, 2.8, 0), (6, 3, 1, 1.6, 2.6, 0),
    (6, 3, 1, 1.6, 2.5, 0), (5, 4, 1, 1.5, 2.4, 0), (5, 4, 1, 1.4, 2.3, 0), (5, 4, 1, 1.3, 2.2, 0),
    (4, 4, 2, 1.2, 2.1, 0), (4, 4, 2, 1.1, 2.0, 0), (4, 4, 2, 1.0, 1.9, 0), (3, 4, 3, 1.0, 1.8, 0),
    (2, 4, 4, 0.3, 0.7, 0),  # bonus time: bills rain
]

DUMBBELL = [
    (10, 0, 0, 3.0, 4.5, 0), (10, 0, 0, 2.8, 4.2, 0), (10, 0, 0, 2.6, 4.0, 0), (9, 1, 0, 2.4, 3.8, 0),
    (9, 1, 0, 2.2, 3.6, 0), (8, 2, 0, 2.0, 3.4, 0), (8, 2, 0, 1.9, 3.2, 0), (7, 3, 0, 1.8, 3.0, 0),
    (7, 3, 0, 1.6, 2.8, 0), (6, 4, 0, 1.5, 2.6, 0), (6, 3, 1, 1.4, 2.4, 0), (5, 4, 1, 1.3, 2.2, 0),
    (5, 4, 1, 1.2, 2.0, 0), (4, 4, 2, 1.1, 1.9, 0), (4, 4, 2, 1.0, 1.8, 0), (3, 4, 3, 0.9, 1.6, 0),
    (0, 0, 0, 1.0, 2.0, 0),  # bonus time throws no dumbbells
]


def cell(v):
    return "%.1f" % v if isinstance(v, float) else str(v)


def write(path, rows):
    with open(path, "w", encoding="ascii", newline="\n") as f:
        for r in rows:
            f.write(",".join(cell(v) for v in r) + "\n")
        f.write("END\n")


def main(out):
    assert len(COIN) == len(DOLLAR) == len(DUMBBELL) == 17
    for r in COIN:
        assert r[2] > r[1] and r[2] > 0
    for r in DOLLAR + DUMBBELL:
        assert r[4] == 0.0 or int(r[4] * 60 - r[3] * 60) >= 1
    write(os.path.join(out, "coin.txt"), COIN)
    write(os.path.join(out, "dollar.txt"), DOLLAR)
    write(os.path.join(out, "dumbbell.txt"), DUMBBELL)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "assets/Assets.bundle")
