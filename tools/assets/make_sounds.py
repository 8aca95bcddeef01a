#!/usr/bin/env python3
"""Synthesises every sound of the game (chiptune style) and writes them as
16-bit mono PCM WAV files at 22050 Hz into the given folder.

Only the standard library is used and the noise comes from a fixed LFSR, so
the output is the same bytes on every run. Music loops are rendered onto a
circular buffer: notes that ring past the end of the loop continue at its
start, so the loop point has no click."""

import math
import os
import struct
import sys
import wave

RATE = 22050
TWO_PI = 2.0 * math.pi


def midi(n):
    return 440.0 * 2.0 ** ((n - 69) / 12.0)


NOTE = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "F": 5, "F#": 6, "Gb": 6,
        "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11}


def note_num(name):
    """'C5' -> 72 ; 'F#3' -> 54."""
    pitch, octave = name[:-1], int(name[-1])
    return 12 * (octave + 1) + NOTE[pitch]


class Noise:
    """15-bit LFSR noise, deterministic."""

    def __init__(self, seed=0x5A5A):
        self.s = seed & 0x7FFF or 1

    def next(self):
        b = (self.s ^ (self.s >> 1)) & 1
        self.s = (self.s >> 1) | (b << 14)
        return 1.0 if self.s & 1 else -1.0


class Track:
    def __init__(self, seconds, loop):
        self.n = int(round(seconds * RATE))
        self.buf = [0.0] * self.n
        self.loop = loop

    def add(self, i, v):
        if self.loop:
            self.buf[i % self.n] += v
        elif 0 <= i < self.n:
            self.buf[i] += v

    def tone(self, t0, dur, freq, wave="square", vol=0.2, attack=0.004, decay=0.05, sustain=0.7,
             release=0.04, duty=0.5, slide=0.0, vib=0.0, vib_rate=6.0):
        """One note from t0 seconds, held dur seconds, then released."""
        start = int(round(t0 * RATE))
        hold = max(1, int(dur * RATE))
        rel = max(1, int(release * RATE))
        att = max(1, int(attack * RATE))
        dec = max(1, int(decay * RATE))
        phase = 0.0
        total = hold + rel
        level_at_release = None
        for k in range(total):
            if k < att:
                env = k / att
            elif k < att + dec:
                env = 1.0 - (1.0 - sustain) * (k - att) / dec
            else:
                env = sustain
            if k >= hold:
                if level_at_release is None:
                    level_at_release = env
                env = level_at_release * (1.0 - (k - hold) / rel)
            f = freq * (1.0 + slide * k / total)
            if vib:
                f *= 1.0 + vib * math.sin(TWO_PI * vib_rate * k / RATE)
            phase += f / RATE
            phase -= int(phase)
            if wave == "square":
                # minus the pulse's mean, so narrow pulses carry no DC thump
                s = (1.0 if phase < duty else -1.0) - (2.0 * duty - 1.0)
            elif wave == "tri":
                s = 4.0 * phase - 1.0 if phase < 0.5 else 3.0 - 4.0 * phase
            elif wave == "saw":
                s = 2.0 * phase - 1.0
            else:
                s = math.sin(TWO_PI * phase)
            self.add(start + k, s * env * vol)

    def bell(self, t0, dur, freq, vol=0.2):
        """Sine partials with an exponential fade: chimes and sparkles."""
        start = int(round(t0 * RATE))
        n = int(dur * RATE)
        parts = ((1.0, 1.0), (2.0, 0.45), (3.01, 0.25), (4.2, 0.12))
        for k in range(n):
            t = k / RATE
            env = math.exp(-5.0 * t / dur) * min(1.0, k / (0.002 * RATE))
            if k > n - 200:
                env *= (n - k) / 200.0
            s = 0.0
            for m, a in parts:
                s += a * math.sin(TWO_PI * freq * m * t)
            self.add(start + k, s * env * vol * 0.55)

    def kick(self, t0, vol=0.5):
        start = int(round(t0 * RATE))
        n = int(0.16 * RATE)
        phase = 0.0
        for k in range(n):
            f = 50.0 + 110.0 * math.exp(-k / (0.03 * RATE))
            phase += f / RATE
            env = (1.0 - k / n) ** 2
            self.add(start + k, math.sin(TWO_PI * phase) * env * vol)

    def noise(self, t0, dur, vol=0.2, bright=True, seed=0x1234, sweep=None):
        start = int(round(t0 * RATE))
        n = int(dur * RATE)
        lf = Noise(seed)
        prev = 0.0
        low = 0.0
        for k in range(n):
            x = lf.next()
            env = (1.0 - k / n) ** 2 * min(1.0, k / 20.0)
            if bright:
                s = x - prev  # crude high pass: hi-hats
                prev = x
                s *= 0.5
            else:
                a = 0.08 if sweep is None else sweep[0] + (sweep[1] - sweep[0]) * k / n
                low += a * (x - low)  # low pass: thumps and snares
                s = low * 2.2
            self.add(start + k, s * env * vol)

    def snare(self, t0, vol=0.3):
        self.noise(t0, 0.13, vol, bright=False, seed=0x2F1, sweep=(0.5, 0.2))
        self.tone(t0, 0.03, 190.0, "tri", vol * 0.6, attack=0.001, decay=0.03, sustain=0.3, release=0.04)

    def hat(self, t0, vol=0.12):
        self.noise(t0, 0.035, vol, bright=True, seed=0x0F0F)


def write_wav(path, samples, peak):
    """Scales the mix to the given peak (a fraction of full scale)."""
    m = max(1e-9, max(abs(v) for v in samples))
    g = peak / m
    data = bytearray()
    for v in samples:
        x = int(round(v * g * 32767.0))
        x = -32767 if x < -32767 else (32767 if x > 32767 else x)
        data += struct.pack("<h", x)
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(data))


# ---------------------------------------------------------------------------
# Music. A piece: tempo, chords (one per bar, as note names of the root at
# octave 3 plus a quality), melody as (note or None, beats).

CHORD_TONES = {"maj": (0, 4, 7), "min": (0, 3, 7), "dom7": (0, 4, 7, 10), "sus": (0, 5, 7)}


def chord_notes(chord):
    root, q = chord
    r = note_num(root)
    return [r + i for i in CHORD_TONES[q]]


def render_piece(bpm, bars, chords, melody, lead="square", lead_duty=0.25, lead_vol=0.16, bass_style="octave",
                 arp=True, drums="four", loop=True, fade_out=0.0, tail_chord=False, arp_vol=0.05, swing=0.0,
                 lead_release=0.05, bass_vol=0.17, counter=None):
    beat = 60.0 / bpm
    seconds = bars * 4 * beat + (1.5 if not loop else 0.0)
    tr = Track(seconds, loop)
    # melody
    t = 0.0
    for n, beats in melody:
        if n is not None:
            tr.tone(t, beats * beat * 0.9, midi(note_num(n)), lead, lead_vol, duty=lead_duty, attack=0.005,
                    decay=0.08, sustain=0.65, release=lead_release, vib=0.004 if beats >= 1 else 0.0)
        t += beats * beat
    if counter:
        t = 0.0
        for n, beats in counter:
            if n is not None:
                tr.tone(t, beats * beat * 0.85, midi(note_num(n)), "tri", lead_vol * 0.7, attack=0.01, decay=0.1,
                        sustain=0.6, release=0.06)
            t += beats * beat
    for bar in range(bars):
        ch = chords[bar % len(chords)]
        tones = chord_notes(ch)
        t0 = bar * 4 * beat
        root = tones[0]
        # bass
        if bass_style == "octave":
            for i in range(8):
                n = root - 12 if i % 2 == 0 else root
                tr.tone(t0 + i * beat / 2, beat / 2 * 0.7, midi(n), "tri", bass_vol, attack=0.003, decay=0.05,
                        sustain=0.8, release=0.03)
        elif bass_style == "walk":
            pattern = [root - 12, tones[1] - 12, tones[2] - 12, tones[1] - 12]
            for i, n in enumerate(pattern):
                tr.tone(t0 + i * beat, beat * 0.8, midi(n), "tri", bass_vol, attack=0.004, decay=0.08,
                        sustain=0.7, release=0.05)
        elif bass_style == "drive":
            for i in range(8):
                n = root - 12 if i not in (3, 7) else root - 5
                tr.tone(t0 + i * beat / 2, beat / 2 * 0.55, midi(n), "square", bass_vol * 0.55, duty=0.5,
                        attack=0.002, decay=0.04, sustain=0.6, release=0.02)
        # arpeggio
        if arp:
            seq = tones + [tones[1] + 12] if len(tones) == 3 else tones
            for i in range(16):
                n = seq[i % len(seq)] + 12
                tr.tone(t0 + i * beat / 4, beat / 4 * 0.6, midi(n), "square", arp_vol, duty=0.125,
                        attack=0.002, decay=0.03, sustain=0.5, release=0.02)
        # drums
        if drums == "four":
            for i in range(4):
                if i % 2 == 0:
                    tr.kick(t0 + i * beat, 0.42)
                else:
                    tr.snare(t0 + i * beat, 0.26)
            for i in range(8):
                tr.hat(t0 + i * beat / 2 + (swing * beat / 2 if i % 2 else 0), 0.09 if i % 2 else 0.06)
        elif drums == "soft":
            tr.kick(t0, 0.3)
            tr.kick(t0 + 2.5 * beat, 0.22)
            for i in range(4):
                tr.hat(t0 + i * beat + beat / 2, 0.05)
            tr.snare(t0 + 3 * beat, 0.12)
        elif drums == "fast":
            for i in range(4):
                tr.kick(t0 + i * beat, 0.4)
                if i % 2:
                    tr.snare(t0 + i * beat, 0.25)
            for i in range(16):
                tr.hat(t0 + i * beat / 4, 0.07 if i % 2 else 0.04)
    if tail_chord:
        t0 = bars * 4 * beat
        for n in chord_notes(chords[0]):
            tr.tone(t0, 0.6, midi(n + 12), "square", 0.07, duty=0.25, attack=0.005, decay=0.2, sustain=0.5,
                    release=0.7)
        tr.tone(t0, 0.5, midi(chord_notes(chords[0])[0] - 12), "tri", 0.2, release=0.7)
        tr.kick(t0, 0.4)
    if fade_out:
        n = int(fade_out * RATE)
        end = tr.n
        for k in range(n):
            tr.buf[end - n + k] *= 1.0 - k / n
    return tr.buf


def mel(s):
    """'E5:.5 G5:.5 -:1' -> [(note, beats)], '-' is a rest."""
    out = []
    for tok in s.split():
        n, b = tok.split(":")
        out.append((None if n == "-" else n, float(b)))
    return out


def title_music():
    chords = [("C3", "maj"), ("A2", "min"), ("F2", "maj"), ("G2", "maj")]
    melody = mel("E5:.5 G5:.5 C6:1 B5:.5 G5:.5 E5:1 "
                 "A5:.5 C6:.5 E6:1 D6:.5 C6:.5 A5:1 "
                 "F5:.5 A5:.5 C6:.5 A5:.5 G5:.5 F5:.5 E5:1 "
                 "D5:.5 E5:.5 G5:1 B5:1.5 -:.5 "
                 "E5:.5 G5:.5 C6:1 E6:.5 D6:.5 C6:1 "
                 "A5:.5 B5:.5 C6:.5 E6:.5 A6:1 G6:1 "
                 "F6:.5 E6:.5 D6:.5 C6:.5 A5:1 C6:1 "
                 "B5:.5 C6:.5 D6:1 G5:1 -:1")
    return render_piece(120, 8, chords, melody, lead="square", lead_duty=0.25, drums="four")


def menu_music():
    chords = [("F2", "maj"), ("D3", "min"), ("A#2", "maj"), ("C3", "maj")]
    melody = mel("A4:1 C5:1 F5:1.5 E5:.5 "
                 "D5:1 F5:1 A5:2 "
                 "G5:1 F5:.5 D5:.5 F5:1 A#4:1 "
                 "C5:1 E5:1 G5:2 "
                 "A5:1 G5:.5 F5:.5 C5:1 F5:1 "
                 "F5:.5 E5:.5 D5:1 A4:2 "
                 "A#4:1 D5:1 F5:1 G5:1 "
                 "E5:1 C5:1 -:2")
    return render_piece(105, 8, chords, melody, lead="tri", lead_vol=0.22, bass_style="walk", drums="soft",
                        arp_vol=0.035, lead_release=0.12)


def gamemain_music():
    chords = [("G2", "maj"), ("E3", "min"), ("C3", "maj"), ("D3", "maj")]
    melody = mel("B5:.5 D6:.5 B5:.5 G5:.5 A5:.5 B5:.5 D6:1 "
                 "E6:.5 D6:.5 B5:.5 G5:.5 E5:1 G5:1 "
                 "C6:.5 E6:.5 C6:.5 G5:.5 A5:.5 C6:.5 E6:.5 G6:.5 "
                 "F#6:.5 E6:.5 D6:.5 A5:.5 F#5:1 -:1 "
                 "G5:.5 B5:.5 D6:.5 G6:.5 F#6:.5 D6:.5 B5:1 "
                 "E6:.5 G6:.5 E6:.5 B5:.5 G5:.5 B5:.5 E6:1 "
                 "C6:.5 D6:.5 E6:.5 G6:.5 E6:.5 D6:.5 C6:.5 E6:.5 "
                 "D6:1 F#6:.5 A6:.5 G6:1 -:1")
    return render_piece(140, 8, chords, melody, lead="square", lead_duty=0.5, lead_vol=0.12, bass_style="drive",
                        drums="four", arp_vol=0.04)


def result_music():
    chords = [("D3", "maj"), ("B2", "min"), ("G2", "maj"), ("A2", "maj")]
    melody = mel("F#5:1 A5:1 D6:1.5 C#6:.5 "
                 "B5:1 D6:1 F#6:2 "
                 "G5:.5 A5:.5 B5:1 D6:1 B5:1 "
                 "A5:1 E5:1 C#6:2 "
                 "D6:1 C#6:.5 B5:.5 A5:1 F#5:1 "
                 "B5:1 A5:.5 F#5:.5 D5:2 "
                 "G5:1 B5:1 D6:1 G6:1 "
                 "F#6:1 E6:1 -:2")
    return render_piece(120, 8, chords, melody, lead="square", lead_duty=0.125, lead_vol=0.15, bass_style="walk",
                        drums="soft", arp_vol=0.04)


def bonus_music():
    chords = [("A2", "maj"), ("F#2", "min"), ("D3", "maj"), ("E3", "maj")]
    melody = mel("A5:.25 C#6:.25 E6:.5 A6:.5 E6:.5 C#6:.5 E6:.5 A6:1 "
                 "F#6:.5 E6:.5 C#6:.5 A5:.5 F#5:.5 A5:.5 C#6:1 "
                 "D6:.5 F#6:.5 A6:.5 F#6:.5 D6:.5 F#6:.5 A6:1 "
                 "G#6:.5 F#6:.5 E6:.5 B5:.5 G#5:.5 B5:.5 E6:1 "
                 "A5:.25 C#6:.25 E6:.5 A6:.5 B6:.5 C#7:.5 B6:.5 A6:1 "
                 "F#6:.5 A6:.5 F#6:.5 C#6:.5 A5:.5 C#6:.5 F#6:1 "
                 "D6:.5 E6:.5 F#6:.5 A6:.5 B6:.5 A6:.5 F#6:1 "
                 "E6:.5 G#6:.5 B6:.5 E7:.5 D7:.5 B6:.5 G#6:1")
    # played once: a closing chord and a short ring-out instead of a loop
    return render_piece(150, 8, chords, melody, lead="square", lead_duty=0.25, lead_vol=0.13, bass_style="octave",
                        drums="fast", loop=False, tail_chord=True, fade_out=0.3, arp_vol=0.045)


# ---------------------------------------------------------------------------
# Effects

def fx(seconds):
    return Track(seconds, False)


def sfx_button_tap():
    t = fx(0.09)
    t.tone(0, 0.035, 1046.5, "square", 0.3, duty=0.25, attack=0.001, decay=0.02, sustain=0.5, release=0.04,
           slide=0.5)
    return t.buf


def sfx_coin():
    t = fx(0.3)
    t.tone(0, 0.05, midi(83), "square", 0.25, duty=0.5, attack=0.001, decay=0.01, sustain=0.9, release=0.005)
    t.tone(0.055, 0.08, midi(88), "square", 0.25, duty=0.5, attack=0.001, decay=0.1, sustain=0.5, release=0.15)
    return t.buf


def sfx_dollar():
    t = fx(0.55)
    t.noise(0, 0.06, 0.25, bright=False, seed=0x3A3, sweep=(0.6, 0.3))
    for i, n in enumerate((72, 76, 79, 84)):
        t.tone(0.03 + i * 0.045, 0.05, midi(n), "square", 0.18, duty=0.25, attack=0.001, decay=0.03,
               sustain=0.6, release=0.04)
    t.bell(0.21, 0.32, midi(96), 0.22)
    t.bell(0.25, 0.28, midi(91), 0.14)
    return t.buf


def sfx_dumbbell():
    t = fx(0.45)
    phase = 0.0
    n = int(0.38 * RATE)
    for k in range(n):
        f = 40.0 + 160.0 * math.exp(-k / (0.05 * RATE))
        phase += f / RATE
        env = (1.0 - k / n) ** 1.5 * min(1.0, k / 30.0)
        s = math.sin(TWO_PI * phase)
        s = max(-0.7, min(0.7, s * 1.4))
        t.add(k, s * env * 0.6)
    t.noise(0, 0.2, 0.5, bright=False, seed=0x7E1, sweep=(0.25, 0.03))
    t.tone(0.02, 0.06, 300, "square", 0.1, duty=0.5, attack=0.001, decay=0.05, sustain=0.2, release=0.05,
           slide=-0.6)
    return t.buf


def sfx_jewel1():
    t = fx(1.1)
    for i, n in enumerate((76, 79, 84, 88, 91, 96)):
        t.tone(i * 0.06, 0.06, midi(n), "square", 0.12, duty=0.25, attack=0.002, decay=0.04, sustain=0.6,
               release=0.05)
        t.bell(i * 0.06, 0.5, midi(n + 12), 0.12)
    t.bell(0.4, 0.65, midi(100), 0.16)
    return t.buf


def sfx_jewel2():
    t = fx(0.5)
    t.bell(0, 0.3, midi(91), 0.3)
    t.bell(0.07, 0.4, midi(98), 0.26)
    return t.buf


def sfx_jewel3():
    t = fx(1.4)
    seq = (72, 76, 79, 84, 79, 84, 88, 91)
    for i, n in enumerate(seq):
        t.tone(i * 0.07, 0.07, midi(n), "square", 0.13, duty=0.5 if i % 2 else 0.25, attack=0.002, decay=0.04,
               sustain=0.6, release=0.04)
    for n in (84, 88, 91, 96):
        t.tone(0.58, 0.35, midi(n), "square", 0.07, duty=0.25, attack=0.005, decay=0.1, sustain=0.6, release=0.4)
        t.bell(0.58, 0.75, midi(n + 12), 0.1)
    return t.buf


def sfx_countdown():
    t = fx(0.3)
    t.tone(0, 0.16, 880.0, "square", 0.25, duty=0.5, attack=0.002, decay=0.05, sustain=0.7, release=0.08)
    return t.buf


def sfx_gamestart():
    t = fx(0.8)
    for n in (81, 85, 88):
        t.tone(0, 0.4, midi(n + 12), "square", 0.11, duty=0.5, attack=0.002, decay=0.1, sustain=0.7, release=0.3)
    t.tone(0, 0.4, midi(69), "tri", 0.25, attack=0.002, decay=0.1, sustain=0.7, release=0.3)
    return t.buf


def sfx_treasure_open():
    t = fx(0.9)
    t.tone(0, 0.22, 220.0, "saw", 0.12, attack=0.01, decay=0.05, sustain=0.8, release=0.05, slide=1.2, vib=0.03,
           vib_rate=28)
    for i, n in enumerate((84, 88, 91, 96, 100)):
        t.bell(0.22 + i * 0.06, 0.45, midi(n), 0.16)
    return t.buf


def sfx_fall():
    t = fx(1.15)
    n = int(0.95 * RATE)
    phase = 0.0
    for k in range(n):
        x = k / n
        f = 1300.0 * (1.0 - x) ** 1.6 + 140.0
        f *= 1.0 + 0.025 * math.sin(TWO_PI * 9.0 * k / RATE)
        phase += f / RATE
        phase -= int(phase)
        s = 4.0 * phase - 1.0 if phase < 0.5 else 3.0 - 4.0 * phase
        env = min(1.0, k / 60.0) * (1.0 - x) ** 0.4
        t.add(k, s * env * 0.35)
    t.noise(0.95, 0.15, 0.4, bright=False, seed=0x111, sweep=(0.2, 0.03))
    return t.buf


def sfx_medal():
    t = fx(1.5)
    seq = ((0.0, 72, 0.12), (0.13, 76, 0.12), (0.26, 79, 0.12), (0.39, 84, 0.7))
    for t0, n, d in seq:
        t.tone(t0, d, midi(n), "square", 0.14, duty=0.25, attack=0.003, decay=0.06, sustain=0.7, release=0.12)
        t.tone(t0, d, midi(n - 12), "tri", 0.16, attack=0.003, decay=0.06, sustain=0.7, release=0.12)
    for n in (76, 79):
        t.tone(0.39, 0.7, midi(n), "square", 0.07, duty=0.5, attack=0.003, decay=0.1, sustain=0.6, release=0.25)
    t.bell(0.39, 1.0, midi(96), 0.12)
    return t.buf


# name: (maker, peak level). Music sits under the effects; the effects that
# repeat a lot (taps, coins) are a little softer than the rare ones.
SOUNDS = {
    "title": (title_music, 0.6), "menu": (menu_music, 0.55), "gamemain": (gamemain_music, 0.6),
    "result": (result_music, 0.55), "bonus": (bonus_music, 0.65),
    "button_tap": (sfx_button_tap, 0.5), "coin": (sfx_coin, 0.5), "dollar": (sfx_dollar, 0.7),
    "dumbbell": (sfx_dumbbell, 0.85), "jewel1": (sfx_jewel1, 0.75), "jewel2": (sfx_jewel2, 0.65),
    "jewel3": (sfx_jewel3, 0.8), "countdown": (sfx_countdown, 0.55), "gamestart": (sfx_gamestart, 0.65),
    "treasure_open": (sfx_treasure_open, 0.7), "fall": (sfx_fall, 0.75), "medal": (sfx_medal, 0.75),
}


def main(out_dir, names):
    os.makedirs(out_dir, exist_ok=True)
    for name in names or sorted(SOUNDS):
        maker, peak = SOUNDS[name]
        write_wav(os.path.join(out_dir, name + ".wav"), maker(), peak)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "assets/Assets.bundle/sound", sys.argv[2:])
