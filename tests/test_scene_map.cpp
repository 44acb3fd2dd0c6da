// The scene map: materials, the strict tie-break, the hero's time gate and the sign index across the normal.
#include "tests/gl_context.h"
#include "tests/shader_probe.h"

#include <gtest/gtest.h>

enum { M_RAIN = 0, M_ROAD = 1, M_TRUCK = 2, M_TEXT = 3 };

// Case i evaluates map at POINTS[i] with gRo at EYES[i] and gLine preset to -1; it returns the distance,
// material, trap and sign index. fieldAt(i) is the falling field's own distance there, to make sure that no
// passing canister decides the case.
static std::string mapProbe(const std::string& points, const std::string& eyes, int count) {
    std::string n = std::to_string(count);
    return "vec3 POINTS[" + n + "] = vec3[" + n + "](" + points + ");\n" + "vec3 EYES[" + n + "] = vec3[" +
           n + "](" + eyes + R"();
        vec4 probe(int i) {
            gRo = EYES[i];
            gLine = -1;
            float d = map(POINTS[i]);
            return vec4(d, float(gMat), gTrap, float(gLine));
        }
        float fieldAt(int i) {
            gRo = EYES[i];
            return sdRain(POINTS[i]);
        })";
}

static std::vector<float> fieldDistances(const std::string& points, const std::string& eyes, int count,
                                         const ProbeUniforms& u) {
    unsigned program = buildProbeProgramWithMain(
        mapProbe(points, eyes, count) + "\nvoid main() { O = vec4(fieldAt(int(gl_FragCoord.x))); }\n");
    std::vector<float> d;
    for (const Vec4& v : runProbeCases(program, count, u))
        d.push_back(v[0]);
    return d;
}

TEST(SceneMap, EachObjectGivesItsMaterial) {
    openTestContext(1, 1);
    const std::string points = "vec3(4., 100., 0.)," // road top; x = 4 is a column border, far from canisters
                               "vec3(0., -235., 3.2),"   // inside the truck's long body (truck at y = -240)
                               "vec3(20., -647.5, 15.)," // front face of sign 1
                               "vec3(20., -744., 9.),"   // inside sign 3
                               "vec3(60., 55., 42.)";    // the hero canister's origin, carved
    const std::string eyes = "vec3(4., 110., 5.), vec3(0., -210., 9.), vec3(20., -630., 15.),"
                             "vec3(0., -700., 9.), vec3(60., 55., 47.)";
    ProbeUniforms at;
    at.time = 30.f;
    std::vector<float> field = fieldDistances(points, eyes, 5, at);
    std::vector<Vec4> v = runProbeCases(buildProbeProgram(mapProbe(points, eyes, 5)), 5, at);

    EXPECT_EQ(v[0][0], 0.f);
    EXPECT_EQ(v[0][1], M_ROAD);
    EXPECT_EQ(v[0][2], 1e9f) << "no fractal was evaluated";
    EXPECT_EQ(v[0][3], -1.f) << "no sign was nearest, so the sign index is left alone";

    ASSERT_GT(field[1], -2.f) << "a canister overlaps the truck probe point; pick another";
    EXPECT_LT(v[1][0], -2.f);
    EXPECT_EQ(v[1][1], M_TRUCK);

    ASSERT_GT(field[2], 0.f);
    EXPECT_EQ(v[2][0], 0.f);
    EXPECT_EQ(v[2][1], M_TEXT);
    EXPECT_EQ(v[2][3], 1.f);

    ASSERT_GT(field[3], -.5f);
    EXPECT_EQ(v[3][0], -.5f);
    EXPECT_EQ(v[3][1], M_TEXT);
    EXPECT_EQ(v[3][3], 3.f);

    ASSERT_GT(field[4], 0.f);
    EXPECT_EQ(v[4][0], 0.f);
    EXPECT_EQ(v[4][1], M_RAIN);
    EXPECT_EQ(v[4][2], 0.f) << "the hero's carved origin leaves its orbit trap";
}

TEST(SceneMap, EqualDistancesKeepTheEarlierCandidate) {
    openTestContext(1, 1);
    // (4, -600, 2) is exactly 2 from the road top and 2 from sign 0's lower edge; the canister field at a
    // column border is farther (more than 2.15), and the truck is at y = 0. Half a unit higher the sign wins.
    const std::string points = "vec3(4., -600., 2.), vec3(-4., -600.3, 2.), vec3(4., -600., 2.5)";
    const std::string eyes = "vec3(0., -550., 9.), vec3(0., -550., 9.), vec3(0., -550., 9.)";
    ProbeUniforms at;
    std::vector<float> field = fieldDistances(points, eyes, 3, at);
    std::vector<Vec4> v = runProbeCases(buildProbeProgram(mapProbe(points, eyes, 3)), 3, at);
    for (int i = 0; i < 3; ++i)
        ASSERT_GT(field[i], 2.f) << "point " << i;
    EXPECT_EQ(v[0][0], 2.f);
    EXPECT_EQ(v[0][1], M_ROAD);
    EXPECT_EQ(v[0][3], -1.f) << "a sign that only ties must not take the sign index";
    EXPECT_EQ(v[1][0], 2.f);
    EXPECT_EQ(v[1][1], M_ROAD);
    EXPECT_EQ(v[2][0], 1.5f);
    EXPECT_EQ(v[2][1], M_TEXT);
    EXPECT_EQ(v[2][3], 0.f);
}

TEST(SceneMap, TheHeroIsGoneFrom52) {
    openTestContext(1, 1);
    const std::string points = "vec3(60., 55., 42.)";
    const std::string eyes = "vec3(60., 55., 47.)";
    unsigned program = buildProbeProgram(mapProbe(points, eyes, 1));
    ProbeUniforms at;
    at.time = 51.99f;
    Vec4 before = runProbeCases(program, 1, at)[0];
    std::vector<float> fieldBefore = fieldDistances(points, eyes, 1, at);
    at.time = 52.f;
    Vec4 after = runProbeCases(program, 1, at)[0];
    std::vector<float> fieldAfter = fieldDistances(points, eyes, 1, at);
    ASSERT_GT(fieldBefore[0], 0.f);
    EXPECT_EQ(before[0], 0.f);
    EXPECT_EQ(before[1], M_RAIN);
    EXPECT_EQ(before[2], 0.f);
    // Afterwards the nearest thing there is a falling canister, and the hero's trap is no longer left.
    EXPECT_EQ(after[0], fieldAfter[0]);
    EXPECT_GT(after[0], 0.f);
    EXPECT_NE(after[2], 0.f);
}

TEST(SceneMap, SignIndexSurvivesTheNormalEstimate) {
    openTestContext(1, 1);
    unsigned program = buildProbeProgram(R"(
        vec4 probe(int i) {
            // On the front face of sign i, and on the back face of the same sign.
            vec3 p = vec3(-10. + float(i), QUORIL_Y - float(i) * SIGN_GAP + (i % 2 == 0 ? .5 : -.5), 12.);
            gRo = p + vec3(0., 20., 0.);
            gLine = -1;
            map(p);
            int hit = gLine;
            vec3 n = nrm(p);
            return vec4(float(hit), float(gLine), n.y, float(gMat));
        }
    )");
    std::vector<Vec4> v = runProbeCases(program, 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(v[i][0], i) << "sign " << i;
        EXPECT_EQ(v[i][1], i) << "sign " << i;
        EXPECT_NEAR(v[i][2], i % 2 == 0 ? 1.f : -1.f, 1e-3f) << "sign " << i;
    }
}
