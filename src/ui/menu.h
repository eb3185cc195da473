// The pause menu ("Continue", "Settings", "Quit") and the settings screen (music and sound volume
// sliders with their percentage labels, Yes and No buttons), built from toolkit windows.
#pragma once

#include "objects/eventrecord.h"

#include <cstdint>

#include "audio/volume.h"

class CNztWnd;
class CNztWnd_Button;
class CNztWnd_Info;
class CNztWnd_Slider;

// The images and border switches of the settings screen; a scene may replace the block.
struct SettingsScreenLook {
    char windowImage[256];
    char sliderImage[256];
    char sliderThumbImage[256];
    char yesImage[256];
    char yesPassOverImage[256];
    char noImage[256];
    char noPassOverImage[256];
    uint32_t windowBorder;
    uint32_t sliderBorder;
    uint32_t sliderThumbBevel;
    uint32_t yesBorder;
    uint32_t noBorder;
};
// Bytes the block takes in a scene file.
constexpr uint32_t SettingsScreenLookBytes = 1812;
extern SettingsScreenLook SettingsLook;
void ResetSettingsScreenLook();

extern CNztWnd* PauseMenuWnd;
extern CNztWnd_Button* PauseContinueButton;
extern CNztWnd_Button* PauseSettingsButton;
extern CNztWnd_Button* PauseQuitButton;

extern CNztWnd* SettingsWnd;
extern CNztWnd_Slider* MusicSlider;
extern CNztWnd_Info* MusicValueLabel;
extern CNztWnd_Slider* SoundSlider;
extern CNztWnd_Info* SoundValueLabel;
extern CNztWnd_Button* SettingsYesButton;
extern CNztWnd_Button* SettingsNoButton;
extern float SavedMusicVolume;
extern float SavedSoundVolume;

// The pause menu's "Quit": a record of its own (action 74, sub-code 4) run through the action
// table, so that the quit goes the way every scripted quit goes.
extern EventRecord PauseQuitRecord;

uint32_t OpenPauseMenu();
uint32_t OnPauseContinue(CNztWnd* button);
uint32_t OnPauseSettings(CNztWnd* button);
uint32_t OnPauseQuit(CNztWnd* button);
uint32_t PauseMenuCallback(uint32_t message, CNztWnd* window, float a, float b, float c);

uint32_t OpenSettingsScreen();
void CloseSettingsScreen();
void LayoutSettingsScreen();
uint32_t OnMusicSliderChanged(CNztWnd* slider);
uint32_t OnSoundSliderChanged(CNztWnd* slider);
uint32_t OnSettingsYes(CNztWnd* button);
uint32_t OnSettingsNo(CNztWnd* button);
void RestoreSavedVolumes();
uint32_t SettingsCallback(uint32_t message, CNztWnd* window, float a, float b, float c);
