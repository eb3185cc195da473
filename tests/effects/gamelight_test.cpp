// Game lights: the scene record read and written back, what a record does to the light it drives
// (near-light list, switched off), the camera's re-test, deletion with the light library, and the
// light map loaded, handed to the light and released.
#include "effects/gamelight.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/scratch.h"
#include "datakit/gamelight.h"
#include "datakit/image.h"
#include "effects/light.h"
#include "effects/lightworld.h"
#include "objects/objtype.h"
#include "objects/registry.h"
#include "render/glext.h"
#include "render/renderstate.h"
#include "render/texture.h"
#include "support/gl_window.h"

namespace {

GameLightRecord Parse(const std::vector<uint8_t>& bytes) {
    BinReader in(bytes.data(), bytes.size());
    GameLightRecord record;
    EXPECT_TRUE(ReadGameLightRecord(in, &record));
    return record;
}

std::vector<uint8_t> Bytes(const GameLightRecord& record) {
    std::vector<uint8_t> out;
    BinWriter writer(out);
    WriteGameLightRecord(writer, record);
    return out;
}

class GameLights : public LightWorld {
protected:
    DataFolderScope data;  // light maps named by the records are looked up here, and missing
};

TEST_F(GameLights, RecordWrittenBackAsRead) {
    std::string junkAfterName("Lamp");
    junkAfterName += '\0';
    junkAfterName += "junk";
    struct Case {
        const char* what;
        datakit::GameLightSpec spec;
        datakit::GameLightSpec expected;  // what the written record holds
    };
    datakit::GameLightSpec plain;
    plain.name = "Torch";
    plain.mapName = "Glow";
    plain.position = {1.5f, -2.0f, 300.0f};
    plain.range = 40.0f;
    plain.innerRange = 5.0f;
    plain.outerRange = 25.0f;
    plain.targetDistance = 3.0f;
    plain.mapSize = 64.0f;
    plain.colour = {1.0f, 0.5f, 0.0f};
    plain.mapIntensity = 0.75f;
    plain.on = 1;
    datakit::GameLightSpec negative = plain;
    negative.targetDistance = -4.0f;
    datakit::GameLightSpec negativeOut = negative;
    negativeOut.targetDistance = 0.0f;
    datakit::GameLightSpec junk = plain;
    junk.name = junkAfterName;
    datakit::GameLightSpec junkOut = plain;
    junkOut.name = "Lamp";
    datakit::GameLightSpec off = plain;
    off.on = 0;
    off.mapName = "";
    const Case cases[] = {
        {"plain", plain, plain},
        {"negative target term stored as 0", negative, negativeOut},
        {"name bytes after the terminator dropped", junk, junkOut},
        {"switched off, no map", off, off},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> in = datakit::MakeGameLightRecord(c.spec);
        ASSERT_EQ(in.size(), GameLightRecordBytes);
        NztGameLight* gameLight = CreateGameLight(Parse(in));
        ASSERT_NE(gameLight, nullptr);
        GameLightRecord out;
        gameLight->FillSceneRecord(&out);
        EXPECT_EQ(Bytes(out), datakit::MakeGameLightRecord(c.expected));
    }
    EXPECT_EQ(GameLightCount, 4u);
    EXPECT_EQ(LightCount, 4u);
    EXPECT_EQ(GameLightList[0]->light->LightKind, 1u);
    EXPECT_EQ(GameLightList[0]->kind, ObjectKindGameLight);
}

TEST_F(GameLights, ShortOrUnterminatedRecords) {
    std::vector<uint8_t> bytes = datakit::MakeGameLightRecord({});
    bytes.pop_back();
    BinReader shortReader(bytes.data(), bytes.size());
    GameLightRecord record;
    record.range = 9.0f;
    EXPECT_FALSE(ReadGameLightRecord(shortReader, &record));
    EXPECT_EQ(record.range, 0.0f) << "a short record reads as zeros";

    datakit::GameLightSpec spec;
    spec.name = std::string(64, 'N');
    spec.mapName = std::string(256, 'M');
    record = Parse(datakit::MakeGameLightRecord(spec));
    EXPECT_EQ(std::string(record.name), std::string(63, 'N'));
    EXPECT_EQ(std::string(record.mapName), std::string(255, 'M'));

    // A map name set longer than the record field is cut to it, not run into the next field.
    NztGameLight* gameLight = CreateGameLight(record);
    std::memset(gameLight->mapName, 'L', 400);
    gameLight->mapName[400] = 0;
    gameLight->FillSceneRecord(&record);
    EXPECT_EQ(std::string(record.mapName), std::string(255, 'L'));
    EXPECT_EQ(Bytes(record).size(), GameLightRecordBytes);
}

// Range 10 from the record: the camera's distance and the on flag decide the light's state.
TEST_F(GameLights, OnFlagAndCameraDistance) {
    struct Case {
        uint32_t on;
        float cameraX;
        bool active, near;
    };
    const Case cases[] = {
        {1, 0.0f, true, true},
        {1, 10.0f, true, true},  // exactly at the range
        {1, 20.0f, true, false},
        {0, 0.0f, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "on " << c.on << " camera " << c.cameraX);
        MainCamera.eye = {c.cameraX, 0.0f, 0.0f};
        datakit::GameLightSpec spec;
        spec.range = 10.0f;
        spec.on = c.on;
        NztGameLight* gameLight = CreateGameLight(Parse(datakit::MakeGameLightRecord(spec)));
        EXPECT_EQ(gameLight->light->Active != 0, c.active);
        EXPECT_EQ(Near(gameLight->light), c.near);
        EXPECT_FLOAT_EQ(gameLight->light->range, 100.0f);
        DeleteAllGameLights();
        EXPECT_EQ(NearLightRegistry.count, 0);
    }

    // Re-applying a record that switches the light off takes it out of the list.
    datakit::GameLightSpec spec;
    spec.range = 10.0f;
    NztGameLight* gameLight = CreateGameLight(Parse(datakit::MakeGameLightRecord(spec)));
    ASSERT_TRUE(Near(gameLight->light));
    spec.on = 0;
    gameLight->LoadMap(Parse(datakit::MakeGameLightRecord(spec)));
    EXPECT_FALSE(Near(gameLight->light));
    EXPECT_EQ(gameLight->light->Active, 0u);
}

TEST_F(GameLights, CameraRetestOnlyEverAddsTheLight) {
    datakit::GameLightSpec spec;
    spec.range = 10.0f;
    spec.on = 0;
    MainCamera.eye = {50.0f, 0.0f, 0.0f};
    NztGameLight* gameLight = CreateGameLight(Parse(datakit::MakeGameLightRecord(spec)));
    gameLight->UpdateDistance();
    EXPECT_EQ(gameLight->light->Active, 1u) << "switched on";
    EXPECT_FALSE(Near(gameLight->light));

    MainCamera.eye = {5.0f, 0.0f, 0.0f};
    MainCamera.carriedLight = gameLight;
    const GlCoreEntryPoints savedGl = GlCore;  // the camera loads its matrix: no context here
    GlCore.LoadMatrixf = [](const GLfloat*) {};
    GlCore.Translatef = [](GLfloat, GLfloat, GLfloat) {};
    MainCamera.UpdateView();
    GlCore = savedGl;
    MainCamera.carriedLight = nullptr;
    EXPECT_TRUE(Near(gameLight->light));
    EXPECT_FLOAT_EQ(gameLight->light->cameraDistanceSq, 25.0f);

    MainCamera.eye = {50.0f, 0.0f, 0.0f};
    gameLight->UpdateDistance();
    EXPECT_TRUE(Near(gameLight->light)) << "leaving is the light's own update";
}

TEST_F(GameLights, DeletingAllTakesTheirLightsAlong) {
    NztLight* other = CreateLight(1);
    const GameLightRecord record = Parse(datakit::MakeGameLightRecord({}));
    CreateGameLight(record);
    NztGameLight* second = CreateGameLight(record);
    CreateGameLight(record);
    ASSERT_EQ(LightCount, 4u);
    // A light already gone from the library is skipped.
    DeleteLightAt(2);
    ASSERT_EQ(LightCount, 3u);
    ASSERT_NE(second->light, nullptr);

    DeleteAllGameLights();
    EXPECT_EQ(GameLightCount, 0u);
    EXPECT_EQ(GameLightList, nullptr);
    ASSERT_EQ(LightCount, 1u);
    EXPECT_EQ(LightList[0], other);
    EXPECT_EQ(NearLightRegistry.count, 0);
}

// ---------------------------------------------------------------- light maps (need a context)

class GlGameLightMaps : public GameLights {
protected:
    static void SetUpTestSuite() {
        // SetUp reports a missing context.
        OpenHiddenGlWindow("gamelight", 64, 64, &window_, &context_);
    }
    static void TearDownTestSuite() {
        CloseHiddenGlWindow(&window_, &context_);
    }
    void SetUp() override {
        GameLights::SetUp();
        ASSERT_NE(context_, nullptr) << "no GL context: " << SDL_GetError();
        ClearTextureTable();
        data.WriteData("MAPS/Glow.Img", datakit::MakeImg32(datakit::SolidRgba(4, 4, 255, 255, 255, 255)));
        ClearPathCache();
    }
    void TearDown() override {
        GameLights::TearDown();
        DeleteAllTextures();
    }

    static SDL_Window* window_;
    static SDL_GLContext context_;
};
SDL_Window* GlGameLightMaps::window_ = nullptr;
SDL_GLContext GlGameLightMaps::context_ = nullptr;

TEST_F(GlGameLightMaps, MapIsLoadedHandedToTheLightAndReleased) {
    datakit::GameLightSpec spec;
    spec.mapName = "Glow";
    spec.mapSize = 32.0f;
    spec.mapIntensity = 0.5f;
    NztGameLight* gameLight = CreateGameLight(Parse(datakit::MakeGameLightRecord(spec)));
    ASSERT_NE(gameLight->mapTexture, 0u);
    EXPECT_EQ(TextureCount, 1u);
    EXPECT_EQ(gameLight->light->FlareTexture, gameLight->mapTexture);
    EXPECT_EQ(gameLight->light->FlareHalfSize, 32.0f);
    EXPECT_EQ(gameLight->light->FlareOpacity, 0.5f);

    // Re-applied with an empty map name: the old map is freed and none is left.
    spec.mapName = "";
    gameLight->LoadMap(Parse(datakit::MakeGameLightRecord(spec)));
    EXPECT_EQ(gameLight->mapTexture, 0u);
    EXPECT_EQ(gameLight->light->FlareTexture, 0u);
    EXPECT_EQ(TextureCount, 0u);

    // Names that are not plain names load nothing.
    for (const char* name : {"../MAPS/Glow", "MAPS/Glow", "..\\Glow", "Missing"}) {
        SCOPED_TRACE(name);
        spec.mapName = name;
        gameLight->LoadMap(Parse(datakit::MakeGameLightRecord(spec)));
        EXPECT_EQ(gameLight->mapTexture, 0u);
        EXPECT_EQ(TextureCount, 0u);
    }

    spec.mapName = "Glow";
    gameLight->LoadMap(Parse(datakit::MakeGameLightRecord(spec)));
    ASSERT_EQ(TextureCount, 1u);
    DeleteAllGameLights();
    EXPECT_EQ(TextureCount, 0u) << "deletion releases the map";
}

}  // namespace
