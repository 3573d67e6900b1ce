#!/usr/bin/env python3
"""Independent single-precision model of the bowed string, used to derive the golden samples in
bowed_string_golden_test.cpp.

Python floats are doubles; f() rounds to single. For +, -, * and / of two singles, rounding the
double result to single gives the correctly rounded single result (53 >= 2 * 24 + 2), so f(a op b)
is exactly the single-precision operation. Values the instrument forms in double are computed
as doubles and rounded once with f().

Run: python3 tests/dsp/reference_model.py  (prints the C++ table for the golden test)
"""
import math
import struct


def f(x):
    return struct.unpack('<f', struct.pack('<f', x))[0]


def bits(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]


class Line:  # linearly interpolating delay line
    def __init__(self, delay, maximum):
        self.length = maximum + 1
        self.buf = [0.0] * self.length
        self.write = 0
        self.out = 0.0
        self.cached = 0.0
        self.stale = True
        self.set_delay(f(delay))

    def set_delay(self, d):
        if not (d <= self.length - 1):
            p = float(self.write + 1 if self.write + 1 != self.length else 0)
        else:
            d = max(d, 0.0)
            p = f(self.write - d)
        if p < 0:
            p = f(p + self.length)
        self.read = int(p)
        if self.read >= self.length:
            self.read -= self.length
            p -= self.length
        self.frac = f(p - self.read)
        self.omf = f(1.0 - self.frac)

    def peek(self):
        if self.stale:
            nxt = self.read + 1 if self.read + 1 < self.length else 0
            self.cached = f(self.buf[self.read] * self.omf)
            self.cached = f(f(self.buf[nxt] * self.frac) + self.cached)
            self.stale = False
        return self.cached

    def tick(self, x):
        self.buf[self.write] = x
        self.write = (self.write + 1) % self.length
        self.out = self.peek()
        self.stale = True
        self.read = (self.read + 1) % self.length
        return self.out


class OnePole:
    def __init__(self, pole, gain):
        self.b0 = f(1.0 - f(pole)) if pole > 0 else f(1.0 + f(pole))
        self.a1 = f(-f(pole))
        self.gain = f(gain)
        self.y1 = 0.0

    def tick(self, x):
        xin = f(self.gain * x)
        y = f(f(self.b0 * xin) - f(self.a1 * self.y1))
        self.y1 = y
        return y


class Body:  # biquad at 500 Hz, radius 0.85, zeroes at DC and Nyquist, gain 0.2
    def __init__(self):
        r = f(0.85)
        self.a2 = f(r * r)
        self.a1 = f(-2.0 * r * math.cos(6.28318530718 * 500.0 / 44100.0))
        self.b = [1.0, 0.0, -1.0]
        self.gain = f(0.2)
        self.x = [0.0, 0.0, 0.0]
        self.y = [0.0, 0.0, 0.0]

    def tick(self, xin):
        b, x, y = self.b, self.x, self.y
        x[0] = f(self.gain * xin)
        y0 = f(f(f(b[0] * x[0]) + f(b[1] * x[1])) + f(b[2] * x[2]))
        y0 = f(y0 - f(f(self.a2 * y[2]) + f(self.a1 * y[1])))
        x[2], x[1] = x[1], x[0]
        y[2], y[1] = y[1], y0
        y[0] = y0
        return y0


def friction(x, slope):
    t = f(f(x + 0.0) * slope)
    v = f(abs(t) + 0.75)
    v = f(1.0 / ((v * v) * (v * v)))
    return 1.0 if v > 1.0 else v


class Adsr:
    def __init__(self):
        self.value, self.target, self.rate, self.state = 0.0, 0.0, f(0.001), 0
        rate = lambda t: f((1.0 / 44100.0) / abs(f(t)))
        self.attack, self.decay, self.sustain, self.release = rate(0.02), rate(0.005), f(0.9), rate(0.01)

    def key_on(self):
        self.target, self.rate, self.state = 1.0, self.attack, 0

    def key_off(self):
        self.target, self.rate, self.state = 0.0, self.release, 3

    def tick(self):
        if self.state == 0:
            self.value = f(self.value + self.rate)
            if self.value >= self.target:
                self.value, self.rate, self.target, self.state = self.target, self.decay, self.sustain, 1
        elif self.state == 1:
            self.value = f(self.value - self.decay)
            if self.value <= self.sustain:
                self.value, self.rate, self.state = self.sustain, 0.0, 2
        elif self.state == 3:
            self.value = f(self.value - self.release)
            if self.value <= 0.0:
                self.value, self.state = 0.0, 4
        return self.value


class String:
    def __init__(self):
        n = round(44100.0 / 20.0 + 1.0)
        self.nut, self.bridge = Line(100, n), Line(29, n // 2)
        self.slope = f(3.0)
        self.loss = OnePole(f(0.55), f(0.95))
        self.body = Body()
        self.env = Adsr()
        self.scale, self.loop, self.depth, self.pos = 0.0, 0.0, 0.0, f(0.127236)

    def place(self):
        self.bridge.set_delay(f(self.loop * self.pos))
        self.nut.set_delay(f((1.0 - self.pos) * self.loop))

    def note_on(self, freq, amp):
        self.env.key_on()
        self.scale = f(0.2 * f(amp) + 0.03)
        self.loop = f(f(44100.0 / f(freq)) - 4.0)
        if not (self.loop >= 0):
            self.loop = f(0.3)
        self.place()

    def control(self, number, value):
        if number == 0:
            self.pos = f(0.2 * value * (1.0 / 128.0) + 0.027236)
            self.place()
        elif number == 1:
            self.depth = f(value)
        elif number == 120:
            self.slope = f(5.0 - 4.0 * value * (1.0 / 128.0))

    def tick(self):
        bow_velocity = f(self.env.tick() * self.scale)
        bridge_refl = -self.loss.tick(self.bridge.out)
        nut_refl = -self.nut.out
        string_velocity = f(bridge_refl + nut_refl)
        diff = f(bow_velocity - string_velocity)
        bow_input = f(friction(diff, self.slope) * diff)
        self.nut.tick(f(bridge_refl + bow_input))
        self.bridge.tick(f(nut_refl + bow_input))
        if self.depth > 0:  # the modulator's gains are 0, so its output is 0
            self.nut.set_delay(f(0.0 + (1.0 - self.pos) * self.loop))
        return self.body.tick(self.bridge.out)


def scenario():
    """Same events as the C++ golden test; yields every output sample."""
    s = String()
    s.env.key_off()
    s.note_on(441.0, 1.0)
    for _ in range(3000):
        yield s.tick()
    s.control(0, 100.0)
    s.control(120, 90.0)
    for _ in range(2000):
        yield s.tick()
    s.note_on(f(293.66476), f(90.0 / 127.0))
    for _ in range(2000):
        yield s.tick()
    s.control(1, 5.0)
    for _ in range(1000):
        yield s.tick()
    s.env.key_off()
    for _ in range(1500):
        yield s.tick()


if __name__ == '__main__':
    checksum = 0
    rows = []
    for i, y in enumerate(scenario()):
        checksum = (checksum * 31 + bits(y)) % (1 << 64)
        if i % 500 == 12:
            rows.append('    {%d, %sf},' % (i, float.hex(y) if y != 0 else '0x0p+0'))
    print('\n'.join(rows))
    print('count %d checksum 0x%016xull' % (i + 1, checksum))
