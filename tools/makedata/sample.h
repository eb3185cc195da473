// The parts of the sample world, each written by the subsystem that reads it.
#pragma once

#include <string>

#include "datakit/scene.h"

bool WriteSampleAudio(const std::string& datasFolder);
// The three textures the start-up loads and the six faces of the sky cube map, under "MAPS/".
bool WriteSampleImages(const std::string& datasFolder);
// The fourteen lens-flare sprites, "MAPS/LensFlare00.Img" to "MAPS/LensFlare13.Img".
bool WriteSampleFlares(const std::string& datasFolder);
// One cursor file, "CURSORS/Pointer.cur".
bool WriteSampleCursors(const std::string& datasFolder);
// The sample meshes, collision side files and animations (ground, props, a skinned character).
bool WriteSampleModels(const std::string& datasFolder);
// The sample characters: the hero's turns, and a guard and a watcher with idle, walk, step back,
// turns and a look of their own ("MAPSMODELS/Guard.Img", "Watcher.Img").
bool WriteSampleCharacters(const std::string& datasFolder);
// The hero's movement animations (ground, water, ladder) and the level pieces to try them on:
// "OBJECTS/Water1001", "Ledge1001", "Ladder1001" and "Ramp1001" with their side files.
bool WriteSampleMovement(const std::string& datasFolder);
// The text table the game loads at start, "TEXT/Default.Gtx".
bool WriteSampleText(const std::string& datasFolder);
// The sample plug-in module, "PLUGIN/Sample.QVm".
bool WriteSamplePlugins(const std::string& datasFolder);
// The images of the settings screen, "MAPS/UI/Setting*.Img".
bool WriteSampleInterface(const std::string& datasFolder);
// The images of the head-up interface: "MAPS/UI/Hud*.Img", "Inv*.Img", "MiniMap.Img", the pins,
// and the crate's inventory icon "MAPS/ICONES/Crate1001.Img".
bool WriteSampleHud(const std::string& datasFolder);
// The sample spells "SPELL/Spell.Def" and "SPELL/Spell.Sfx", the particle effect and the mesh of
// the ball they throw.
bool WriteSampleSpells(const std::string& datasFolder);
// The hero's jump, fall and climbing animations and the patrol round "TRAJECTS/Patrol.Qvt" of the
// level's characters.
bool WriteSampleMoves(const std::string& datasFolder);
// The time of day (degrees) the start level begins at: mid-morning, the sun up in the south-east.
inline constexpr float kSampleTimeOfDay = 130.0f;
// The start level "SCN/Level01.Scn" with the wall, dais and lookouts, the sky bodies and their
// images, and the camera trajectory it uses; its day starts at `timeOfDay` degrees.
bool WriteSampleLevel(const std::string& datasFolder, float timeOfDay = kSampleTimeOfDay);
datakit::SceneSpec SampleLevelSpec(float timeOfDay = kSampleTimeOfDay);
