#version 330
// Scene program, fragment stage: marches each pixel's ray through a road, a truck driving along it, an
// endless field of falling canisters carved by a mandelbox, seven credit signs and, early on, one hero
// canister; the camera path and the motion follow the music time alone.

uniform vec2 iResolution;
uniform float iTime, iBeat, iBeatHalf, iZoom;
uniform vec2 iCam;
uniform vec3 iCamPos;
uniform float iDepth, iFScale;
uniform sampler2D uText;
// The sync tracks, each read by its name (TRACK_CAMERA_ROLL and so on), which the host defines before this
// text from its track table, with TRACK_VECTORS; 0 everywhere is the picture without them.
uniform vec3 iTrack[TRACK_VECTORS];

out vec4 O;

// Per pixel: orbit trap of the last fractal evaluation, material and sign of the nearest surface, the eye.
float gTrap;
int gMat;
int gLine;
vec3 gRo;
// Per pixel, set by main before the march from the uniforms alone: the fractal's scale, size factor and
// iteration count, and where the truck is.
float gScale;
float gFs;
vec3 gTruckPos;
int gIter;

// Materials and the number of credit signs.
#define M_RAIN 0
#define M_ROAD 1
#define M_TRUCK 2
#define N_LINES 7
// Mandelbox.
#define ITER 10
#define SCALE (2.6 + iDepth * 0.01 + iBeatHalf * 0.5)
#define MINR2 0.3
#define FIXR2 1.5
// The falling canister field.
#define CELL vec3(8.0, 8.0, 14.0)
#define FALL 6.0
#define SPEED_MIN 0.4
#define SPEED_MAX 1.6
#define SIZE_MIN 0.4
#define SIZE_MAX 1.3
// Timeline and camera.
#define T_OUT 40.0
#define T_FLY 52.0
#define T_ORBIT 62.0
#define ORBIT_R 18.0
#define ORBIT_Z 6.0
#define FLY_Z 16.0
#define HERO_POS vec3(60.0, 55.0, 42.0)
#define PULL_DIR normalize(vec3(0.35, 0.35, 1.0))
// Signs, level of detail, road and truck.
#define QUORIL_Y (-600.0)
#define M_TEXT 3
#define FRAC_MARGIN 0.15
#define LOD_DIST 25.0
#define ROAD_HW 6.0
#define TRUCK_SCALE 1.0
#define TRUCK_SPEED (-8.0)
#define TRUCK_ZOFF 3.2
#define TRUCK_YAW 1.5708
#define SIGN_GAP 48.0
// The vertical field of view, in degrees, of the focal length 1.4 that the eye rays are made with.
#define FOV 71.0753
// 1 draws each pixel's march instead of the picture (steps, the body hit, heavy steps), which the benchmark
// reads back; 0 is the picture.
#define STEP_PICTURE 0
// Canister colours by orbit trap.
#define COL_A vec3(0.9, 0.15, 0.05)
#define COL_B vec3(1.0, 0.85, 0.40)

float rand(vec2 co) {
    return fract(sin(dot(co, vec2(12.9898, 78.233))) * 43758.5453);
}

// ---- Distance primitives. Every model number below is exact as written; the near-quarter-turn matrices
// (1.000001, -6e-7) are deliberately not orthonormal.

float sdBox(vec3 p, vec3 b) {
    vec3 q = abs(p) - b;
    return length(max(q, 0.)) + min(max(q.x, max(q.y, q.z)), 0.);
}

// Axis along local z; h is the half-height, r the radius.
float sdCappedCylinder(vec3 p, float h, float r) {
    vec2 d = vec2(length(p.xy) - r, abs(p.z) - h);
    return min(max(d.x, d.y), 0.) + length(max(d, 0.));
}

float sdTorus(vec3 p) {
    return length(vec2(length(p.xy) - .459876, p.z)) - .114969;
}

float opU(float a, float b) {
    return min(a, b);
}

// b with the cutter a taken away.
float opS(float a, float b) {
    return max(-a, b);
}

// ---- The canister: a flat upright can with crossed grooves on both faces, a spout and a ring on top.

float sdCanister(vec3 p) {
    const mat3 tiltPlusX = mat3(.7672293, 0., .6413731, 0., 1., 0., -.6413731, 0., .7672293);
    const mat3 tiltMinusX = mat3(.6448019, 0., -.7643495, 0., 1., 0., .7643495, 0., .6448019);
    const mat3 alongMinusY = mat3(1., 0., 0., 0., -6e-7, -1.000001, 0., 1.000001, -6e-7);
    float body = sdCappedCylinder(p - vec3(-.42023, .017244, 0.), 1., 1.);
    float cut = opS(sdBox(p - vec3(-.436085, 1.492263, 0.), vec3(1.123454)),
                    opS(sdBox(p - vec3(-.436085, -1.49661, 0.), vec3(1.135312)),
                        opS(sdCappedCylinder(tiltPlusX * (p - vec3(-.411658, -.991658, 0.)), .658731, .658731),
                            opS(sdCappedCylinder(tiltMinusX * (p - vec3(-.411658, -.991658, 0.)), .658731,
                                                 .658731),
                                opS(sdCappedCylinder(tiltMinusX * (p - vec3(-.411658, 1.005708, 0.)), .658731,
                                                     .658731),
                                    opS(sdCappedCylinder(tiltPlusX * (p - vec3(-.411658, 1.005708, 0.)),
                                                         .658731, .658731),
                                        body))))));
    float spout = sdCappedCylinder(p - vec3(-1.074234, 0., .97079), .246179, .246179);
    float ring = sdTorus(alongMinusY * (p - vec3(-.120112, 0., .854261)));
    return opU(opU(cut, spout), ring);
}

// ---- Fractal detail and the falling field.

// Distance estimate to the mandelbox at a fold scale; leaves the orbit trap (smallest |z| after each
// iteration) in gTrap.
float mandelbox(vec3 p, float scale) {
    vec3 z = p;
    float dr = 1.;
    gTrap = 1e9;
    for (int i = 0; i < ITER; i++) {
        z = clamp(z, -1., 1.) * 2. - z;
        float r2 = dot(z, z);
        if (r2 < MINR2) {
            z *= FIXR2 / MINR2;
            dr *= FIXR2 / MINR2;
        } else if (r2 < FIXR2) {
            z *= FIXR2 / r2;
            dr *= FIXR2 / r2;
        }
        z = z * scale + p;
        dr = dr * abs(scale) + 1.;
        gTrap = min(gTrap, length(z));
    }
    return length(z) / abs(dr);
}

// The field's scale, which the beat alone sets.
float mandelbox(vec3 p) {
    return mandelbox(p, SCALE);
}

// The point relative to its cell's centre in the falling frame; sz gets that cell's canister scale. The
// size hashes the cell in the falling frame, so a canister keeps its size as it falls.
vec3 cellFold(vec3 p, out float sz) {
    vec2 col = round(p.xy / CELL.xy);
    float spd = mix(SPEED_MIN, SPEED_MAX, rand(col + vec2(4.2, 1.7)));
    p.z += max(0., iTime - T_OUT) * FALL * spd + rand(col) * CELL.z;
    vec3 id = round(p / CELL);
    sz = mix(SIZE_MIN, SIZE_MAX, fract(sin(dot(id, vec3(12.9898, 78.233, 37.719))) * 43758.5453));
    return p - CELL * id;
}

// Only the point's own cell is measured; the fractal is paid for only near the surface and near the eye.
float sdRain(vec3 p) {
    float fs = exp(iFScale * .1);
    float sz;
    vec3 q = cellFold(p, sz);
    q = q / sz;
    float dv = sdCanister(q) * sz;
    if (dv > FRAC_MARGIN)
        return dv;
    if (length(p - gRo) > LOD_DIST)
        return dv;
    return max(dv, mandelbox(q / fs) * fs * sz);
}

float sdHero(vec3 p) {
    float fs = exp(iFScale * .1);
    vec3 q = p - HERO_POS;
    float dv = sdCanister(q);
    if (dv > FRAC_MARGIN)
        return dv;
    if (length(p - gRo) > LOD_DIST)
        return dv;
    return max(dv, mandelbox(q / fs, SCALE + TRACK_HERO_FOLD) * fs);
}

// ---- The truck, facing its local +x, driving toward -y.

mat2 rot2(float a) {
    return mat2(cos(a), -sin(a), sin(a), cos(a));
}

vec3 truckPos() {
    return vec3(0., iTime * TRUCK_SPEED, TRUCK_ZOFF);
}

float sdTruck(vec3 p) {
    const mat3 slant = mat3(.4312739, 0., .9022207, 0., 1., 0., -.9022207, 0., .4312739);
    const mat3 alongMinusX = mat3(-6e-7, 0., -1.000001, 0., 1., 0., 1.000001, 0., -6e-7);
    const mat3 alongPlusX = mat3(-6e-7, 0., 1.000001, 0., 1., 0., -1.000001, 0., -6e-7);
    const mat3 alongMinusY = mat3(1., 0., 0., 0., -6e-7, -1.000001, 0., 1.000001, -6e-7);
    const mat3 alongPlusY = mat3(1., 0., 0., 0., -6e-7, 1.000001, 0., -1.000001, -6e-7);
    p = (p - truckPos()) / TRUCK_SCALE;
    p.xy = rot2(-TRUCK_YAW) * p.xy;
    // Cab block with its upper front edge cut off at a slant.
    float d = opS(sdBox(slant * (p - vec3(2.19827, 0., 1.776053)), vec3(1.915266)),
                  sdBox(p - vec3(-.458184, 0., -.27321), vec3(1.815629)));
    // Long body in two halves.
    d = opU(d, sdCappedCylinder(alongMinusX * (p - vec3(-4.98349, 0., -.266182)), 2.293841, 2.293841));
    d = opU(d, sdCappedCylinder(alongMinusX * (p - vec3(-9.494682, 0., -.266182)), 2.293841, 2.293841));
    // Six wheels; the two rows are not mirror images.
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-.60978, -1.041157, -2.268564)), .802884, .802884));
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-7.617822, -1.041157, -2.268564)), .802884, .802884));
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-9.301631, -1.041157, -2.268564)), .802884, .802884));
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-.60978, 1.032389, -2.268564)), .802884, .802884));
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-7.617822, 1.032389, -2.268564)), .802884, .802884));
    d = opU(d, sdCappedCylinder(alongMinusY * (p - vec3(-9.301631, 1.032389, -2.268564)), .802884, .802884));
    // Upright cylinder on the body, cross cylinder through the upper cab, two small forward cylinders.
    d = opU(d, sdCappedCylinder(p - vec3(-4.350268, 0., 1.449907), .843701, .843701));
    d = opU(d, sdCappedCylinder(alongPlusY * (p - vec3(-1.139889, 0., .465798)), 1.431244, 1.431244));
    d = opU(d, sdCappedCylinder(alongPlusX * (p - vec3(1.22749, 1.209958, -1.442779)), .307901, .307901));
    d = opU(d, sdCappedCylinder(alongPlusX * (p - vec3(1.22749, -1.207613, -1.442779)), .307901, .307901));
    // Joint between cab and body, and the low rear around the rear axles.
    d = opU(d, sdBox(p - vec3(-2.345978, 0., -.354585), vec3(1.477256)));
    d = opU(d, sdBox(p - vec3(-8.450998, 0., -.759717), vec3(1.761367)));
    return d * TRUCK_SCALE;
}

// ---- The scene map. Strict comparisons: on a tie the candidate tested earlier keeps the material.

float map(vec3 p) {
    gTrap = 1e9;
    float d = sdBox(p - vec3(0., 0., -.5), vec3(ROAD_HW, 1e5, .5));
    gMat = M_ROAD;
    float c = sdTruck(p);
    if (c < d) {
        d = c;
        gMat = M_TRUCK;
    }
    c = sdRain(p);
    if (c < d) {
        d = c;
        gMat = M_RAIN;
    }
    for (int i = 0; i < N_LINES; i++) {
        c = sdBox(p - vec3(0., QUORIL_Y - float(i) * SIGN_GAP, 15.), vec3(40., .5, 11.));
        if (c < d) {
            d = c;
            gMat = M_TEXT;
            gLine = i;
        }
    }
    if (iTime < T_FLY) {
        c = sdHero(p);
        if (c < d) {
            d = c;
            gMat = M_RAIN;
        }
    }
    return d;
}

// ---- The march's view of the scene: the distance and material that map returns, for less work. On a
// software rasteriser every `if` costs its whole body whether a pixel takes it or not, and the only work a
// group of pixels skips is a loop pass that none of them needs; a GPU also skips a branch that no pixel of
// its group takes. So what costs much and is seldom needed is measured in a loop or a march of its own, with
// a count the compiler cannot see (it would unroll it into code that is always paid): the fractal's
// iterations, the second canister, and the fractal and the truck together in a march that takes over a ray
// only where one of them may be the nearest. One sign stands for seven. The trap may differ from map's only
// where a canister that is not the nearest carries detail.

// The truck's box relative to truckPos, in world axes (it drives along -y), a hundredth larger than the
// truck in every direction.
#define TRUCK_BOX_C vec3(0., 5.12655, -.3889)
#define TRUCK_BOX_H vec3(2.3038, 6.67195, 2.6925)
// A sphere around the canister in its own frame, a little larger than its parts: neither sdCanister nor its
// max with the fractal comes nearer than the sphere, so a canister whose sphere is not nearer than the
// nearest surface found so far cannot change the distance.
#define CAN_SPHERE_C vec3(-.44, .017, .05)
#define CAN_SPHERE_R 1.47

// Set by main from the uniforms: how many canisters there are to measure (the hero only before T_FLY), and
// the hero's own fractal scale.
int gCanisters;
float gHeroScale;

// The mandelbox as mandelbox computes it, with the frame's scale (gScale or gHeroScale) and a loop count the
// compiler cannot see: the sphere fold's three cases as one clamped factor, the trap kept squared.
float mandelboxDetail(vec3 p, float scale) {
    vec3 z = p;
    float dr = 1.;
    float trap2 = 1e18;
    for (int i = 0; i < gIter; i++) {
        z = clamp(z, -1., 1.) * 2. - z;
        float k = clamp(FIXR2 / dot(z, z), 1., FIXR2 / MINR2);
        z = z * k * scale + p;
        dr = dr * k * abs(scale) + 1.;
        trap2 = min(trap2, dot(z, z));
    }
    gTrap = sqrt(trap2);
    return length(z) / abs(dr);
}

// The canister of p's cell as sdRain measures it and, before T_FLY, the hero as sdHero does, both through
// one body: first the one whose sphere is nearer, then the other only where its sphere is nearer than d by
// then. The detail is measured only where it can bring a canister nearer than d; `heavy` says that it
// would be, and with `detail` false it is left out (the distance then holds only where heavy stays false).
// Each canister's point is taken as sdRain and sdHero take it (the hero's is not divided at all).
float nearerCanister(vec3 p, float d, bool detail, inout bool heavy) {
    float sz;
    vec3 field = cellFold(p, sz);
    vec3 hero = p - HERO_POS;
    float fieldSphere = length(field - sz * CAN_SPHERE_C) - sz * CAN_SPHERE_R;
    float heroSphere = length(hero - CAN_SPHERE_C) - CAN_SPHERE_R;
    bool heroFirst = gCanisters > 1 && heroSphere < fieldSphere;
    float otherSphere = heroFirst ? fieldSphere : heroSphere;
    bool nearEye = length(p - gRo) <= LOD_DIST;
    int k = 0;
    do {
        bool isHero = heroFirst == (k == 0);
        float s = isHero ? 1. : sz;
        float c = sdCanister(isHero ? hero : field / sz) * s;
        if (c <= FRAC_MARGIN && c < d && nearEye) {
            heavy = true;
            if (detail)
                c = max(c, mandelboxDetail(isHero ? hero / gFs : field / (sz * gFs),
                                           isHero ? gHeroScale : gScale) * gFs * s);
        }
        if (c < d) {
            d = c;
            gMat = M_RAIN;
        }
        k++;
    } while (k < gCanisters && otherSphere < d);
    return d;
}

// Everything but the truck.
float marchRest(vec3 p, bool detail, inout bool heavy) {
    gTrap = 1e9;
    float d = sdBox(p - vec3(0., 0., -.5), vec3(ROAD_HW, 1e5, .5));
    gMat = M_ROAD;
    d = nearerCanister(p, d, detail, heavy);
    // The signs differ only in y, so the one whose centre is nearest in y is the nearest.
    int i = int(clamp(round((QUORIL_Y - p.y) / SIGN_GAP), 0., float(N_LINES - 1)));
    float c = sdBox(p - vec3(0., QUORIL_Y - float(i) * SIGN_GAP, 15.), vec3(40., .5, 11.));
    if (c < d) {
        d = c;
        gMat = M_TEXT;
        gLine = i;
    }
    return d;
}

// The truck cannot be nearer than its box.
float truckBox(vec3 p) {
    return sdBox(p - gTruckPos - TRUCK_BOX_C, TRUCK_BOX_H);
}

// Everything, the truck where its box is nearer than the rest; `heavy` says whether the fractal or the
// truck was measured.
float marchMap(vec3 p, inout bool heavy) {
    float d = marchRest(p, true, heavy);
    if (truckBox(p) < d) {
        heavy = true;
        float c = sdTruck(p);
        if (c < d) {
            d = c;
            gMat = M_TRUCK;
        }
    }
    return d;
}

float marchMap(vec3 p) {
    bool heavy = false;
    return marchMap(p, heavy);
}

vec3 marchNormal(vec3 p) {
    const float e = .002;
    return normalize(vec3(marchMap(p + vec3(e, 0., 0.)) - marchMap(p - vec3(e, 0., 0.)),
                          marchMap(p + vec3(0., e, 0.)) - marchMap(p - vec3(0., e, 0.)),
                          marchMap(p + vec3(0., 0., e)) - marchMap(p - vec3(0., 0., e))));
}

// ---- Normal and shading.

// Overwrites gTrap and gMat; gLine survives on a sign because no other sign is ever nearer there.
vec3 nrm(vec3 p) {
    const float e = .002;
    return normalize(vec3(map(p + vec3(e, 0., 0.)) - map(p - vec3(e, 0., 0.)),
                          map(p + vec3(0., e, 0.)) - map(p - vec3(0., e, 0.)),
                          map(p + vec3(0., 0., e)) - map(p - vec3(0., 0., e))));
}

// Line L's band runs from v = L/7 at the top of the sign to (L+1)/7 at its foot, so the text stands upright.
float textAt(int line, vec2 uv) {
    float v = (float(line) + 1. - uv.y) / float(N_LINES);
    return texture(uText, vec2(uv.x, v)).r;
}

vec3 shade(vec3 p, vec3 n, vec3 rd, int material, float trap) {
    vec3 l = normalize(vec3(.6, -.4, .8));
    float dif = max(dot(n, l), 0.);
    float amb = .3 + .2 * n.z;
    if (material == M_RAIN) {
        vec3 base = mix(COL_A, COL_B, clamp(trap * .5, 0., 1.));
        return base * (dif + amb) + iBeat * iBeat * (1. + TRACK_BEAT_STRENGTH) * vec3(.2, .5, 1.);
    }
    if (material == M_TRUCK) {
        float s = pow(max(dot(reflect(rd, n), l), 0.), 40.);
        return vec3(.75, .06, .05) * (dif + amb) + s;
    }
    if (material == M_TEXT) {
        // Unlit: the text glows with the music.
        float m = textAt(gLine, vec2((p.x + 40.) / 80., (p.z - 4.) / 22.));
        return mix(vec3(.015, .02, .03), vec3(.7, .9, 1.) * (2. + 2. * (iBeat * (1. + TRACK_BEAT_STRENGTH))), m);
    }
    // The road: edge lines, and a dashed centre line of 2-unit dashes and gaps.
    float edge = abs(p.x) >= ROAD_HW - .4 ? 1. : 0.;
    float dash = abs(p.x) <= .25 && fract(p.y / 4.) >= .5 ? 1. : 0.;
    float k = clamp(dash + edge, 0., 1.);
    return mix(vec3(.08), vec3(.9), k) * (dif * .5 + amb);
}

// ---- Camera timeline: pull-out, flight, orbit, trailing.

// Eye distance from the hero canister: held for 8.8 s of each 10 s segment, then eased to the next.
float act1Dist(float tm) {
    float D[4] = float[4](.15, .5, 1.2, 8.);
    int i = min(int(tm / 10.), 3);
    int j = i < 3 ? i + 1 : 3;
    return mix(D[i], D[j], smoothstep(.88, 1., fract(tm / 10.)));
}

void camera(out vec3 ro, out vec3 ta) {
    float tm = iTime;
    vec3 hp = HERO_POS;
    vec3 tp = truckPos();
    if (tm < T_OUT) {
        ro = hp + PULL_DIR * act1Dist(tm);
        ta = hp;
    } else if (tm < T_FLY) {
        float s = smoothstep(T_OUT, T_FLY, tm);
        ro = mix(hp + PULL_DIR * 8., tp + vec3(ORBIT_R, 0., FLY_Z), s);
        ta = mix(hp, tp, s);
    } else if (tm < T_ORBIT) {
        // One and a quarter turns (7.8539, a hair short of 2.5 pi), sinking as it goes.
        float s = smoothstep(T_FLY, T_ORBIT, tm);
        float a = mix(0., 7.8539, s);
        float h = mix(FLY_Z, ORBIT_Z, s);
        ro = tp + vec3(cos(a) * ORBIT_R, sin(a) * ORBIT_R, h);
        ta = tp;
    } else {
        float k = ORBIT_R + 42. * smoothstep(0., 12., tm - T_ORBIT);
        ro = tp + vec3(0., k, ORBIT_Z);
        ta = mix(tp, tp + vec3(0., -12., 1.), smoothstep(T_ORBIT, T_ORBIT + 3., tm));
    }
}

// ---- Entry: march, shade, fog towards the sky, gamma.

void main() {
    vec2 uv = (2. * gl_FragCoord.xy - iResolution) / iResolution.y;
    vec3 ro, ta;
    camera(ro, ta);
    // Adding 0 leaves a coordinate as it was, so a track without keys moves nothing.
    ro += vec3(TRACK_CAMERA_POS_X, TRACK_CAMERA_POS_Y, TRACK_CAMERA_POS_Z);
    ta += vec3(TRACK_CAMERA_TARGET_X, TRACK_CAMERA_TARGET_Y, TRACK_CAMERA_TARGET_Z);
    gRo = ro;
    gScale = SCALE;
    gFs = exp(iFScale * .1);
    gTruckPos = truckPos();
    // ITER, from a uniform: a pixel exists only when the height is not zero.
    gIter = iResolution.y > 0. ? ITER : 0;
    gCanisters = iTime < T_FLY ? 2 : 1;
    gHeroScale = gScale + TRACK_HERO_FOLD;
    // Up crossed with forward, in that order: a camera looking along -y has +x on its right.
    vec3 ww = normalize(ta - ro);
    vec3 uu = normalize(cross(vec3(0., 0., 1.), ww));
    vec3 vv = cross(ww, uu);
    // Roll and field of view only where a track asks: a cosine of 0 or a focal length computed back from its
    // own angle need not come out exact.
    if (TRACK_CAMERA_ROLL != 0.) {
        float a = radians(TRACK_CAMERA_ROLL);
        vec3 right = cos(a) * uu - sin(a) * vv;
        vv = cos(a) * vv + sin(a) * uu;
        uu = right;
    }
    float focal = 1.4;
    if (TRACK_CAMERA_FOV != 0.)
        focal = 1. / tan(radians(clamp(FOV + TRACK_CAMERA_FOV, 1., 179.)) * .5);
    vec3 rd = normalize(uv.x * uu + uv.y * vv + focal * ww);

#define FAR 220.0
#define MAX_STEPS 256
// A step goes this share of the distance: the field's is measured in the point's cell alone and is no bound.
#define STEP_FACTOR 0.7
// A ray has hit where the distance is below this share of its length.
#define HIT_FACTOR 0.0015
    // Two marches take turns on a ray with the same steps. The light one measures neither the fractal nor the
    // truck and hands the ray, before stepping, to the heavy one where either may be the nearest; the heavy
    // one measures everything and hands the ray back after a step where neither was measured.
    float t = 0.;
    int i = 0;
    int heavySteps = 0;
    bool done = false;
    do {
        for (; i < MAX_STEPS; i++) {
            vec3 p = ro + rd * t;
            bool heavy = false;
            float d = marchRest(p, false, heavy);
            if (heavy || truckBox(p) < d)
                break;
            if (d < HIT_FACTOR * t || t > FAR) {
                done = true;
                break;
            }
            t += STEP_FACTOR * d;
        }
        for (; i < MAX_STEPS && !done; i++) {
            bool heavy = false;
            float d = marchMap(ro + rd * t, heavy);
            if (d < HIT_FACTOR * t || t > FAR) {
                done = true;
                break;
            }
            t += STEP_FACTOR * d;
            heavySteps++;
            if (!heavy) {
                i++;
                break;
            }
        }
    } while (!done && i < MAX_STEPS);
    // The normal's six evaluations overwrite these.
    float trap = gTrap;
    int material = gMat;

    if (STEP_PICTURE != 0) {
        // Levels: the steps, the body (0 sky, 1 + the material, 5 out of steps), the steps in the heavy march.
        float body = t > FAR ? 0. : done ? float(material + 1) : 5.;
        O = vec4(vec3(float(i), body, float(heavySteps)) / 255., 1.);
        return;
    }

    vec3 sky = mix(vec3(.04, .05, .09), vec3(.18, .22, .32), clamp(rd.z * .5 + .5, 0., 1.));
    vec3 col = sky;
    if (t < FAR) {
        vec3 p = ro + rd * t;
        vec3 n = marchNormal(p);
        col = shade(p, n, rd, material, trap);
        float fog = t / FAR;
        if (TRACK_FOG_DENSITY != 0.)
            fog *= exp2(TRACK_FOG_DENSITY);
        col = mix(col, sky, clamp(fog, 0., 1.));
    }
    if (TRACK_LIGHT_EXPOSURE != 0.)
        col *= exp2(TRACK_LIGHT_EXPOSURE);
    col = pow(col, vec3(.7));
    // The grade works on the picture as shown, about its mid grey.
    if (TRACK_GRADE_SATURATION != 0. || TRACK_GRADE_CONTRAST != 0. || TRACK_GRADE_WARMTH != 0.) {
        float luma = dot(col, vec3(.2126, .7152, .0722));
        col = mix(vec3(luma), col, 1. + TRACK_GRADE_SATURATION);
        col = (col - .5) * (1. + TRACK_GRADE_CONTRAST) + .5;
        col += vec3(TRACK_GRADE_WARMTH, 0., -TRACK_GRADE_WARMTH);
    }
    O = vec4(col, 1.);
}
