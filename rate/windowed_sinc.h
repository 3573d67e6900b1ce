// The interpolation kernel: an ideal low-pass (a sinc) under a Kaiser window, evaluated in
// double precision with +, -, *, / and sqrt alone, so every build computes the same values
// (a C library's sin or exp may differ in the last bit from one platform to another).
#pragma once

namespace corvalen::rate {

class WindowedSinc {
public:
    // cutoff: cycles per source frame (below 0.5); halfLength: source frames on each side;
    // attenuationDb: the stop band's depth (above 50 dB), which sets the window's shape.
    WindowedSinc(double cutoff, int halfLength, double attenuationDb);

    // Source frames a kernel needs on each side for the given transition band (cycles per
    // source frame) and depth: Kaiser's estimate of the length, halved and rounded up.
    static int halfLengthFor(double transitionWidth, double attenuationDb);

    // The kernel at `offset` source frames from its centre; 0 from halfLength on.
    double operator()(double offset) const;

private:
    double cutoff_;
    int halfLength_;
    double beta_;
    double windowScale_;  // 1 / I0(beta)
};

// sin(pi x), from a Taylor series after reduction to [0, 1/2].
double sinPi(double x);
// The modified Bessel function of the first kind, order 0, from its power series.
double besselI0(double x);

}  // namespace corvalen::rate
