// Renders the demo's soundtrack to a 16-bit stereo WAV file at 44,100 Hz: 120 BPM in A minor, every sound
// made here from oscillators, noise and filters. Deterministic: the same build writes the same bytes.
//
// Acts, in music time (bar = 2 s): intro 0-40 s that builds from pads and sparse percussion; the drop at
// 40 s (kick, bass, hats, claps); the orbit from 52 s (a circling arpeggio); the trailing groove from 62 s
// through 124 s; the outro to the end. The kick dominates the left channel, so that the loudness per block
// of 2,048 frames jumps on every beat from the drop on.
//
// Usage: synth_soundtrack OUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int RATE = 44100;
constexpr double PI = 3.14159265358979323846;
constexpr double BEAT = 0.5; // 120 BPM
constexpr double BAR = 4 * BEAT;
// The encoder writes exactly 5,723 MPEG frames for this many input frames (one more than it needs to hold
// them: lame pads its last frame), i.e. 6,592,896 decoded frames.
constexpr int WAV_FRAMES = 5722 * 1152;
// The decoded audio lags the input by the encoder's 576 frames plus the decoder's 529; the score is
// rendered that much early so that bar lines fall on whole seconds of the decoded track.
constexpr int CODEC_DELAY = 576 + 529;
constexpr double TRACK_SECONDS = double(WAV_FRAMES + CODEC_DELAY) / RATE;

constexpr double DROP = 40.0, ORBIT = 52.0, GROOVE = 62.0, OUTRO = 124.0;

std::vector<float> left(WAV_FRAMES), right(WAV_FRAMES);
// Send bus of the ping-pong delay.
std::vector<float> sendL(WAV_FRAMES), sendR(WAV_FRAMES);
// How strongly the kick pushes the rest of the mix down (1 = fully) at each frame.
std::vector<float> duck(WAV_FRAMES, 0.0f);

uint32_t noiseState = 0x2545F491u;
float noise() {
    noiseState ^= noiseState << 13;
    noiseState ^= noiseState >> 17;
    noiseState ^= noiseState << 5;
    return static_cast<float>(noiseState) * (2.0f / 4294967296.0f) - 1.0f;
}

// Frame index in the WAV of music time t.
long frameAt(double t) {
    return std::lround(t * RATE) - CODEC_DELAY;
}

void mix(long i, float l, float r) {
    if (i >= 0 && i < WAV_FRAMES) {
        left[static_cast<size_t>(i)] += l;
        right[static_cast<size_t>(i)] += r;
    }
}
void send(long i, float l, float r) {
    if (i >= 0 && i < WAV_FRAMES) {
        sendL[static_cast<size_t>(i)] += l;
        sendR[static_cast<size_t>(i)] += r;
    }
}
float ducked(long i, float depth) {
    if (i < 0 || i >= WAV_FRAMES)
        return 1.0f;
    return 1.0f - depth * duck[static_cast<size_t>(i)];
}

// Equal-power pan: p from -1 (left) to 1 (right).
void panGains(float p, float* l, float* r) {
    double a = (p + 1.0) * PI / 4.0;
    *l = static_cast<float>(std::cos(a));
    *r = static_cast<float>(std::sin(a));
}

double midiHz(double note) {
    return 440.0 * std::pow(2.0, (note - 69.0) / 12.0);
}

// Topology-preserving state-variable filter.
struct Svf {
    double ic1 = 0, ic2 = 0;
    double low = 0, band = 0, high = 0;
    void run(double x, double hz, double q) {
        if (hz > RATE * 0.45)
            hz = RATE * 0.45;
        double g = std::tan(PI * hz / RATE), k = 1.0 / q;
        double a1 = 1.0 / (1.0 + g * (g + k)), a2 = g * a1, a3 = g * a2;
        double v3 = x - ic2;
        double v1 = a1 * ic1 + a2 * v3;
        double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        low = v2;
        band = v1;
        high = x - k * v1 - v2;
    }
};

// Band-limited sawtooth (polyBLEP).
double saw(double phase, double dt) {
    double v = 2.0 * phase - 1.0;
    if (phase < dt) {
        double x = phase / dt;
        v -= x + x - x * x - 1.0;
    } else if (phase > 1.0 - dt) {
        double x = (phase - 1.0) / dt;
        v -= x * x + x + x + 1.0;
    }
    return v;
}

// ---- Drums -----------------------------------------------------------------------------------------

void kick(double t, float gain) {
    long start = frameAt(t);
    const int n = static_cast<int>(0.42 * RATE);
    double phase = 0;
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        double hz = 48.0 + 130.0 * std::exp(-s / 0.028);
        phase += hz / RATE;
        double amp = std::exp(-s / 0.16) * std::min(1.0, s / 0.0015);
        double body = std::sin(2 * PI * phase) * amp;
        double click = s < 0.004 ? noise() * 0.35 * (1.0 - s / 0.004) : 0.0;
        float v = static_cast<float>((std::tanh(body * 1.6) / std::tanh(1.6) + click) * gain);
        mix(start + k, v, v);
        size_t i = static_cast<size_t>(start + k);
        if (start + k >= 0 && start + k < WAV_FRAMES)
            duck[i] = std::max(duck[i], static_cast<float>(gain * std::exp(-s / 0.11)));
    }
}

void clap(double t, float gain) {
    long start = frameAt(t);
    Svf bandL, bandR;
    const int n = static_cast<int>(0.35 * RATE);
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        // Three quick hand slaps, then the room.
        double env = 0;
        for (int slap = 0; slap < 3; ++slap) {
            double d = s - slap * 0.011;
            if (d >= 0)
                env = std::max(env, std::exp(-d / 0.006));
        }
        env = std::max(env, 0.55 * std::exp(-(s - 0.022) / 0.09) * (s > 0.022));
        bandL.run(noise(), 1250, 1.4);
        bandR.run(noise(), 1350, 1.4);
        mix(start + k, static_cast<float>(bandL.band * env * gain),
            static_cast<float>(bandR.band * env * gain));
        send(start + k, static_cast<float>(bandL.band * env * gain * 0.2), 0);
    }
}

void snare(double t, float gain) {
    long start = frameAt(t);
    Svf hp;
    const int n = static_cast<int>(0.2 * RATE);
    double phase = 0;
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        phase += 185.0 / RATE;
        hp.run(noise(), 1800, 0.7);
        double v =
            (std::sin(2 * PI * phase) * std::exp(-s / 0.03) * 0.6 + hp.high * std::exp(-s / 0.06)) * gain;
        mix(start + k, static_cast<float>(v), static_cast<float>(v));
    }
}

void hat(double t, float gain, bool open, float pan) {
    long start = frameAt(t);
    Svf hp;
    const double decay = open ? 0.16 : 0.028;
    const int n = static_cast<int>(decay * 6 * RATE);
    float gl, gr;
    panGains(pan, &gl, &gr);
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        hp.run(noise(), 7500, 0.9);
        float v = static_cast<float>(hp.high * std::exp(-s / decay) * gain);
        mix(start + k, v * gl, v * gr);
    }
}

void crash(double t, float gain) {
    long start = frameAt(t);
    Svf hpL, hpR;
    const int n = static_cast<int>(2.5 * RATE);
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        hpL.run(noise(), 5000, 0.8);
        hpR.run(noise(), 5200, 0.8);
        double env = std::exp(-s / 0.7) * std::min(1.0, s / 0.002);
        mix(start + k, static_cast<float>(hpL.high * env * gain), static_cast<float>(hpR.high * env * gain));
    }
}

void rim(double t, float gain, float pan) {
    long start = frameAt(t);
    const int n = static_cast<int>(0.06 * RATE);
    float gl, gr;
    panGains(pan, &gl, &gr);
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        double v = (std::sin(2 * PI * 1700 * s) * 0.6 + std::sin(2 * PI * 820 * s) * 0.4) *
                   std::exp(-s / 0.012) * gain;
        mix(start + k, static_cast<float>(v * gl), static_cast<float>(v * gr));
        send(start + k, static_cast<float>(v * gl * 0.4), static_cast<float>(v * gr * 0.4));
    }
}

void tom(double t, float gain, double baseHz) {
    long start = frameAt(t);
    const int n = static_cast<int>(0.5 * RATE);
    double phase = 0;
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        phase += (baseHz * (1.0 + 0.6 * std::exp(-s / 0.05))) / RATE;
        float v = static_cast<float>(std::sin(2 * PI * phase) * std::exp(-s / 0.18) * gain);
        mix(start + k, v, v);
    }
}

void riser(double from, double to, float gain) {
    long a = frameAt(from), b = frameAt(to);
    Svf bpL, bpR;
    for (long i = a; i < b; ++i) {
        double x = double(i - a) / double(b - a);
        double hz = 300.0 * std::pow(20.0, x);
        bpL.run(noise(), hz, 3.0);
        bpR.run(noise(), hz * 1.05, 3.0);
        double env = x * x * gain;
        mix(i, static_cast<float>(bpL.band * env), static_cast<float>(bpR.band * env));
    }
}

// ---- Tonal voices ----------------------------------------------------------------------------------

// A pad chord: three detuned saws per note through a low-pass whose cutoff follows `cutoffAt`.
template <typename Cutoff>
void padChord(double t, double length, const int* notes, int count, float gain, Cutoff cutoffAt) {
    const double attack = 0.35, release = 0.8;
    long start = frameAt(t);
    const int n = static_cast<int>((length + release) * RATE);
    for (int v = 0; v < count; ++v) {
        double phases[3] = {0.13 * v, 0.47 + 0.1 * v, 0.79};
        const double detune[3] = {-0.09, 0.0, 0.085};
        Svf lpL, lpR;
        for (int k = 0; k < n; ++k) {
            double s = double(k) / RATE;
            double env = std::min(1.0, s / attack);
            if (s > length)
                env *= std::exp(-(s - length) / (release / 4));
            double outs[3];
            for (int o = 0; o < 3; ++o) {
                double dt = midiHz(notes[v] + detune[o]) / RATE;
                phases[o] += dt;
                phases[o] -= std::floor(phases[o]);
                outs[o] = saw(phases[o], dt);
            }
            double hz = cutoffAt(t + s);
            lpL.run(outs[0] + 0.7 * outs[1], hz, 0.9);
            lpR.run(outs[2] + 0.7 * outs[1], hz, 0.9);
            float d = ducked(start + k, 0.6f);
            mix(start + k, static_cast<float>(lpL.low * env * gain * d),
                static_cast<float>(lpR.low * env * gain * d));
        }
    }
}

// Bass: a saw and a sub sine through a low-pass with a short filter envelope, pushed down by the kick.
void bassNote(double t, double length, int note, float gain, double brightness) {
    long start = frameAt(t);
    const int n = static_cast<int>((length + 0.03) * RATE);
    double phase = 0, sub = 0;
    double dt = midiHz(note) / RATE;
    Svf lp;
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        phase += dt;
        phase -= std::floor(phase);
        sub += dt;
        double env = std::min(1.0, s / 0.004) * (s > length ? std::exp(-(s - length) / 0.008) : 1.0);
        double hz = 120.0 + brightness * 900.0 * std::exp(-s / 0.09);
        lp.run(saw(phase, dt), hz, 1.3);
        double v = (lp.low * 0.8 + std::sin(2 * PI * sub) * 0.6) * env * gain * ducked(start + k, 0.85f);
        mix(start + k, static_cast<float>(v), static_cast<float>(v));
    }
}

// A plucked saw for the arpeggio and the lead; `pan` places it, and part of it goes to the delay.
void pluck(double t, int note, float gain, float pan, double decay, double sendLevel) {
    long start = frameAt(t);
    const int n = static_cast<int>(decay * 5 * RATE);
    double dt = midiHz(note) / RATE, dt2 = midiHz(note + 0.07) / RATE;
    double p1 = 0, p2 = 0.5;
    Svf lp;
    float gl, gr;
    panGains(pan, &gl, &gr);
    for (int k = 0; k < n; ++k) {
        double s = double(k) / RATE;
        p1 += dt;
        p1 -= std::floor(p1);
        p2 += dt2;
        p2 -= std::floor(p2);
        lp.run(saw(p1, dt) + saw(p2, dt2), 400.0 + 3800.0 * std::exp(-s / (decay * 0.6)), 1.2);
        double v = lp.low * std::exp(-s / decay) * std::min(1.0, s / 0.002) * gain * ducked(start + k, 0.5f);
        mix(start + k, static_cast<float>(v * gl), static_cast<float>(v * gr));
        send(start + k, static_cast<float>(v * gl * sendLevel), static_cast<float>(v * gr * sendLevel));
    }
}

// ---- Score -----------------------------------------------------------------------------------------

// Am, F, C, G: one chord per bar.
const int CHORDS[4][4] = {{57, 60, 64, 69}, {53, 57, 60, 65}, {55, 60, 64, 67}, {55, 59, 62, 67}};
const int ROOTS[4] = {33, 29, 36, 31};
// The lead's eight-bar phrase in sixteenths (0 = rest), A minor pentatonic.
const int LEAD[8][16] = {
    {76, 0, 0, 74, 0, 0, 72, 0, 69, 0, 72, 0, 74, 0, 0, 0},
    {72, 0, 0, 69, 0, 0, 67, 0, 69, 0, 0, 0, 0, 0, 0, 0},
    {72, 0, 0, 74, 0, 0, 76, 0, 79, 0, 76, 0, 74, 0, 72, 0},
    {74, 0, 0, 0, 0, 0, 0, 0, 67, 0, 69, 0, 71, 0, 74, 0},
    {76, 0, 0, 74, 0, 0, 72, 0, 69, 0, 72, 0, 74, 0, 0, 0},
    {72, 0, 0, 69, 0, 0, 65, 0, 69, 0, 0, 0, 72, 0, 0, 0},
    {67, 0, 0, 69, 0, 0, 72, 0, 76, 0, 74, 0, 72, 0, 69, 0},
    {71, 0, 0, 0, 74, 0, 0, 0, 79, 0, 0, 0, 0, 0, 0, 0},
};

double clamp01(double x) {
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

// Pad brightness over the whole track: opening through the intro, full in the groove, closing in the outro.
double padCutoff(double t) {
    if (t < DROP)
        return 250.0 + 2300.0 * std::pow(t / DROP, 2.0);
    if (t < OUTRO)
        return t < ORBIT || t >= GROOVE ? 2400.0 : 3400.0;
    return 2400.0 * std::pow(0.15, clamp01((t - OUTRO) / (TRACK_SECONDS - OUTRO)));
}

void writeScore() {
    const int bars = static_cast<int>(std::ceil(TRACK_SECONDS / BAR));

    // Drums first: the kick's ducking curve shapes everything tonal after it.
    for (int bar = 0; bar < bars; ++bar) {
        double t0 = bar * BAR;
        for (int beat = 0; beat < 4; ++beat) {
            double t = t0 + beat * BEAT;
            bool mainKick = (t >= DROP && t < OUTRO + 8 * BAR) ||
                            (t >= OUTRO + 8 * BAR && t < OUTRO + 12 * BAR && beat % 2 == 0);
            if (mainKick)
                kick(t, 0.78f);
            else if (t >= 24.0 && t < DROP - BEAT && beat == 0)
                kick(t, 0.28f + 0.2f * static_cast<float>((t - 24.0) / 16.0)); // a heartbeat in the intro
        }
    }

    for (int bar = 0; bar < bars; ++bar) {
        double t0 = bar * BAR;
        int chord = bar % 4;
        bool drop = t0 >= DROP && t0 < ORBIT, orbit = t0 >= ORBIT && t0 < GROOVE;
        bool groove = t0 >= GROOVE && t0 < OUTRO, outro = t0 >= OUTRO;
        bool credits = t0 >= GROOVE + 32 && t0 < GROOVE + 48; // a lighter stretch under the credits

        // Pads throughout, fading in over the first four bars and out over the last five.
        float padGain = 0.05f * static_cast<float>(std::min(1.0, (t0 + BAR) / (4 * BAR)));
        if (outro)
            padGain *= static_cast<float>(1.0 - clamp01((t0 - (TRACK_SECONDS - 10.0)) / 10.0));
        padChord(t0, BAR, CHORDS[chord], 4, padGain, padCutoff);

        // Intro percussion, sparse at first and thickening towards the drop.
        if (t0 >= 8.0 && t0 < DROP) {
            rim(t0 + 2 * BEAT, 0.10f, -0.3f);
            if (t0 >= 16.0)
                rim(t0 + 3.5 * BEAT, 0.07f, 0.4f);
            if (t0 >= 20.0)
                for (int e = 0; e < 8; ++e)
                    hat(t0 + e * BEAT / 2, e % 2 ? 0.035f : 0.02f, false, 0.3f);
            if (t0 >= 32.0 && t0 < 38.0)
                tom(t0 + 3 * BEAT, 0.25f, 95.0);
        }
        if (t0 >= 32.0 && t0 < DROP) {
            for (int s = 0; s < 8; ++s) { // a quiet arpeggio to come
                int note = CHORDS[chord][s % 4] + 12;
                pluck(t0 + s * BEAT / 2, note, 0.03f + 0.02f * static_cast<float>((t0 - 32.0) / 8.0),
                      s % 2 ? 0.5f : -0.5f, 0.12, 0.35);
            }
        }
        if (t0 == DROP - 2 * BAR) { // the build: eighths, then sixteenths, louder, then a breath
            for (int s = 0; s < 8; ++s)
                snare(t0 + s * BEAT / 2, 0.08f + 0.01f * s);
            for (int s = 0; s < 14; ++s)
                snare(t0 + BAR + s * BEAT / 4, 0.14f + 0.012f * s);
            riser(DROP - 4 * BAR, DROP - BEAT / 2, 0.35f);
        }

        if (drop || groove || orbit || (outro && t0 < OUTRO + 8 * BAR)) {
            for (int s = 0; s < 16; ++s) {
                double t = t0 + s * BEAT / 4;
                if (s % 4 == 2)
                    hat(t, outro ? 0.05f : 0.085f, true, 0.15f);
                else if (!orbit)
                    hat(t, s % 2 ? 0.04f : 0.025f, false, -0.2f);
            }
            if ((drop || groove) && !credits) {
                clap(t0 + BEAT, 0.42f);
                clap(t0 + 3 * BEAT, 0.42f);
            } else if (credits || orbit) {
                rim(t0 + BEAT, 0.16f, -0.25f);
                rim(t0 + 3 * BEAT, 0.16f, 0.25f);
            }
        }
        if (t0 == DROP || t0 == GROOVE || t0 == ORBIT)
            crash(t0, 0.16f);

        // Bass: rolling eighths off the kick; long notes in the orbit; gone halfway through the outro.
        int root = ROOTS[chord];
        if (drop || groove || (outro && t0 < OUTRO + 8 * BAR)) {
            for (int e = 0; e < 8; ++e) {
                if (e % 2 == 0)
                    continue;
                int note = root + (e == 7 && bar % 2 ? 12 : 0);
                bassNote(t0 + e * BEAT / 2, BEAT / 2 * 0.85, note, 0.22f, groove ? 1.0 : 0.7);
            }
            bassNote(t0 + 1.75 * BEAT + (bar % 2) * BAR / 2, BEAT / 4, root + 12, 0.14f, 0.9);
        } else if (orbit) {
            bassNote(t0, BAR * 0.95, root, 0.2f, 0.25);
        }

        // The orbit's arpeggio circles the listener once per bar; it stays on, quieter, in the groove.
        if (orbit || groove || (outro && t0 < OUTRO + 12 * BAR)) {
            float level = orbit ? 0.09f : (credits ? 0.07f : 0.05f);
            if (outro)
                level *= static_cast<float>(1.0 - clamp01((t0 - OUTRO) / (12 * BAR)));
            static const int ORDER[8] = {0, 1, 2, 3, 2, 1, 3, 1};
            for (int s = 0; s < 16; ++s) {
                double t = t0 + s * BEAT / 4;
                int note = CHORDS[chord][ORDER[s % 8]] + (s >= 8 ? 12 : 0);
                float pan = static_cast<float>(0.85 * std::sin(2 * PI * (t - t0) / BAR));
                pluck(t, note, level, pan, 0.09, 0.45);
            }
        }

        // The lead sings in two stretches of the groove.
        int phraseBar = bar - static_cast<int>((GROOVE + 8 * BAR) / BAR);
        bool leadOn =
            groove && !credits && ((phraseBar >= 0 && phraseBar < 8) || (phraseBar >= 24 && phraseBar < 31));
        if (leadOn) {
            for (int s = 0; s < 16; ++s) {
                int note = LEAD[phraseBar % 8][s];
                if (note != 0)
                    pluck(t0 + s * BEAT / 4, note, 0.09f, 0.1f, 0.28, 0.3);
            }
        }

        // Fills into every eighth bar of the groove.
        if (groove && (bar + 1) % 8 == 0)
            for (int s = 0; s < 4; ++s)
                tom(t0 + 3 * BEAT + s * BEAT / 4, 0.3f, 140.0 - 15.0 * s);
    }
}

// Ping-pong delay of a dotted eighth, fed from the send bus into the mix.
void applyDelay() {
    const size_t d = static_cast<size_t>(0.375 * RATE);
    std::vector<float> dl(WAV_FRAMES, 0.0f), dr(WAV_FRAMES, 0.0f);
    for (size_t i = 0; i < static_cast<size_t>(WAV_FRAMES); ++i) {
        float inL = sendL[i] + (i >= d ? 0.45f * dr[i - d] : 0.0f);
        float inR = sendR[i] + (i >= d ? 0.45f * dl[i - d] : 0.0f);
        dl[i] = inL;
        dr[i] = inR;
        if (i >= d) {
            left[i] += 0.5f * dl[i - d];
            right[i] += 0.5f * dr[i - d];
        }
    }
}

bool writeWav(const char* path) {
    std::FILE* f = std::fopen(path, "wb");
    if (f == nullptr)
        return false;
    auto u32 = [&](uint32_t v) {
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [&](uint16_t v) {
        unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    const uint32_t dataBytes = static_cast<uint32_t>(WAV_FRAMES) * 4;
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(RATE);
    u32(RATE * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(dataBytes);
    const int fadeFrames = static_cast<int>(1.5 * RATE);
    for (int i = 0; i < WAV_FRAMES; ++i) {
        // The last moments fade to nothing; a soft limit keeps the mix under full scale.
        double fade = std::min(1.0, double(WAV_FRAMES - i) / fadeFrames);
        for (float x : {left[static_cast<size_t>(i)], right[static_cast<size_t>(i)]}) {
            double y = std::tanh(x * 1.1) * 0.93 * fade;
            u16(static_cast<uint16_t>(static_cast<int16_t>(std::lround(y * 32767.0))));
        }
    }
    return std::fclose(f) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT.wav\n", argv[0]);
        return 2;
    }
    writeScore();
    applyDelay();
    if (!writeWav(argv[1])) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
