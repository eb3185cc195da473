#include "ui/menu.h"

#include <cstdio>
#include <cstring>

#include "audio/music.h"
#include "audio/sound.h"
#include "objects/actions.h"
#include "objects/events.h"
#include "render/renderstate.h"
#include "render/text.h"
#include "ui/wnd.h"


// Seven names of 256 bytes and five switches, as a scene stores the block.
static_assert(7 * 256 + 5 * 4 == SettingsScreenLookBytes);

SettingsScreenLook SettingsLook = {
    "MAPS/UI/Setting.Img",    "MAPS/UI/SettingSlider.Img", "MAPS/UI/SettingSliderBut.Img",
    "MAPS/UI/SettingYes.Img", "MAPS/UI/SettingYesPassOver.Img", "MAPS/UI/SettingNo.Img",
    "MAPS/UI/SettingNoPassOver.Img", 1, 1, 1, 0, 0};

CNztWnd* PauseMenuWnd = nullptr;
CNztWnd_Button* PauseContinueButton = nullptr;
CNztWnd_Button* PauseSettingsButton = nullptr;
CNztWnd_Button* PauseQuitButton = nullptr;

CNztWnd* SettingsWnd = nullptr;
CNztWnd_Slider* MusicSlider = nullptr;
CNztWnd_Info* MusicValueLabel = nullptr;
CNztWnd_Slider* SoundSlider = nullptr;
CNztWnd_Info* SoundValueLabel = nullptr;
CNztWnd_Button* SettingsYesButton = nullptr;
CNztWnd_Button* SettingsNoButton = nullptr;
float SavedMusicVolume = 1.0f;
float SavedSoundVolume = 1.0f;

EventRecord PauseQuitRecord = {};

namespace {

// ---------------------------------------------------------------------------------------------
// The user's volumes: every read and change of them goes through these four.

float CurrentMusicVolume() { return MusicVolume; }
float CurrentSoundVolume() { return SoundVolume; }
// The new setting heard at once.
void ApplyMusicVolume(float v) { FadeMusicTo(0, v); }
void ApplySoundVolume(float v) {
    SoundVolume = v;
    SetMasterSoundGain(v);
}
// Back to the given settings over 10 fade ticks.
void FadeVolumesTo(float music, float sound) {
    FadeMusicTo(10, music);
    FadeMasterSound(10, sound);
}

// ---------------------------------------------------------------------------------------------

constexpr uint32_t kKeyEnter = 13;
constexpr uint32_t kKeyEscape = 27;
// Sub-code of action 74 that quits.
constexpr int32_t kQuitSubCode = 4;

float UnitX(float n) { return n * RenderState.screenWidthF / 1024.0f; }
float UnitY(float n) { return n * RenderState.screenHeightF / 768.0f; }

void UseGameFont() {
    RenderState.currentFont = RenderState.gameFont;
    RenderState.currentFontSize = RenderState.gameFontSize;
}

void UseSmallFont() {
    RenderState.currentFont = RenderState.defaultFont;
    RenderState.currentFontSize = RenderState.defaultFontSize;
}

void ClearPauseGlobals() {
    PauseMenuWnd = nullptr;
    PauseContinueButton = nullptr;
    PauseSettingsButton = nullptr;
    PauseQuitButton = nullptr;
}

void ClearSettingsGlobals() {
    SettingsWnd = nullptr;
    MusicSlider = nullptr;
    MusicValueLabel = nullptr;
    SoundSlider = nullptr;
    SoundValueLabel = nullptr;
    SettingsYesButton = nullptr;
    SettingsNoButton = nullptr;
}

// Bare window: no caption strip, no minimum size.
void Bare(CNztWnd* w) {
    w->captionHeight = 0.0f;
    w->minimumWidth = w->minimumHeight = 0.0f;
    w->textAnchorY = w->height * 0.5f;
}

CNztWnd_Button* PauseButton(const char* caption, float y, NztWndClick click) {
    CNztWnd_Button* b =
        CreateButtonWnd(caption, nullptr, UnitX(10.0f), UnitY(y), UnitX(128.0f), UnitY(30.0f), click, PauseMenuWnd,
                        nullptr, nullptr);
    if (b == nullptr) return nullptr;
    b->textColour[0] = b->textColour[1] = b->textColour[2] = 1.0f;
    b->colour[0] = 0.5f;
    b->colour[1] = 0.5f;
    b->colour[2] = 0.6f;
    b->colour[3] = 0.0f;
    b->opaqueWhenFocused = 0;
    b->eventCallback = PauseMenuCallback;
    b->shadow = 1;
    return b;
}

float Clamp100(float v) { return v < 0.0f ? 0.0f : (v > 100.0f ? 100.0f : v); }

void ShowPercent(CNztWnd_Info* label, float v) {
    if (label == nullptr) return;
    char text[32];
    std::snprintf(text, sizeof text, " %.01f %%", static_cast<double>(v));
    label->SetText(text);
    label->CNztWnd::SetText(text);
}

CNztWnd_Info* ValueLabel(float y) {
    CNztWnd_Info* l = CreateInfoWnd(nullptr, nullptr, UnitX(246.0f), UnitY(y) + 12.0f, 100.0f, 25.0f, SettingsWnd);
    if (l == nullptr) return nullptr;
    l->textAnchorY = l->height * 0.5f;
    l->textColour[0] = l->textColour[1] = l->textColour[2] = 1.0f;
    l->captionHeight = l->minimumWidth = l->minimumHeight = 0.0f;
    l->colour[3] = 0.0f;
    l->titleBar = l->movable = l->captionButtons = l->border = 0;
    l->opaqueWhenFocused = 0;
    // The label sits beside the slider's end: it must not take the moves of a thumb dragged
    // past that end.
    l->interactive = 0;
    l->UpdateRect();
    return l;
}

CNztWnd_Slider* VolumeSlider(const char* label, float y, NztWndClick click, float volume, float depth) {
    const SettingsScreenLook& look = SettingsLook;
    CNztWnd_Slider* s = CreateSliderWnd(label, UnitX(41.0f), UnitY(y), UnitX(200.0f), UnitY(10.0f), click,
                                        look.sliderImage, look.sliderThumbImage, SettingsWnd);
    if (s == nullptr) return nullptr;
    s->colour[0] = s->colour[1] = s->colour[2] = s->colour[3] = 1.0f;
    s->value = volume * 100.0f;
    s->thumbPosition = s->maximumValue != 0.0f ? s->highestThumb * s->value / s->maximumValue : 0.0f;
    s->ClampThumb();
    s->notifyOnChange = 1;
    s->border = look.sliderBorder;
    s->thumbBevel = look.sliderThumbBevel;
    s->depthKey = depth;
    return s;
}

CNztWnd_Button* ImageButton(float x, NztWndClick click, const char* image, const char* passOver, uint32_t border,
                            float depth) {
    CNztWnd_Button* b = CreateButtonWnd(nullptr, passOver, UnitX(x), UnitY(99.0f), UnitX(32.0f), UnitY(32.0f), click,
                                        SettingsWnd, image, nullptr);
    if (b == nullptr) return nullptr;
    b->eventCallback = SettingsCallback;
    b->border = border;
    b->pressInflate = -UnitX(2.0f);
    b->depthKey = depth;
    return b;
}

void CopyName(char* out, const char* in) { std::snprintf(out, 256, "%s", in); }

}  // namespace

void ResetSettingsScreenLook() {
    SettingsScreenLook& l = SettingsLook;
    CopyName(l.windowImage, "MAPS/UI/Setting.Img");
    CopyName(l.sliderImage, "MAPS/UI/SettingSlider.Img");
    CopyName(l.sliderThumbImage, "MAPS/UI/SettingSliderBut.Img");
    CopyName(l.yesImage, "MAPS/UI/SettingYes.Img");
    CopyName(l.yesPassOverImage, "MAPS/UI/SettingYesPassOver.Img");
    CopyName(l.noImage, "MAPS/UI/SettingNo.Img");
    CopyName(l.noPassOverImage, "MAPS/UI/SettingNoPassOver.Img");
    l.windowBorder = l.sliderBorder = l.sliderThumbBevel = 1;
    l.yesBorder = l.noBorder = 0;
}

uint32_t OpenPauseMenu() {
    if (PauseMenuWnd != nullptr) return 0;
    UseGameFont();
    PauseMenuWnd = CreateWnd("", UnitX(437.0f), UnitY(313.0f), UnitX(150.0f), UnitY(142.0f), nullptr);
    if (PauseMenuWnd == nullptr) return 0;
    CNztWnd* m = PauseMenuWnd;
    m->titleBar = m->captionButtons = m->movable = 0;
    Bare(m);
    m->colour[3] = 0.0f;
    m->opaqueWhenFocused = 0;
    m->takesKeys = 1;
    m->eventCallback = PauseMenuCallback;
    m->UpdateRect();
    const bool font = RenderState.currentFont != nullptr;
    if (font) {
        PauseContinueButton = PauseButton("Continue", 20.0f, OnPauseContinue);
        PauseSettingsButton = PauseButton("Settings", 60.0f, OnPauseSettings);
    }
    PauseQuitButton = PauseButton(font ? "Quit" : nullptr, font ? 100.0f : 20.0f, OnPauseQuit);
    SetFocusWnd(PauseMenuWnd);
    TraceInterface("pause menu opened");
    return 1;
}

uint32_t PauseMenuCallback(uint32_t message, CNztWnd* window, float a, float, float) {
    if (message == WndMsgBeforeBody) {
        UseGameFont();
    } else if (message == WndMsgKeyUp) {
        const auto key = static_cast<uint32_t>(a);
        if (key == kKeyEnter) OnPauseQuit(window);
        if (key == kKeyEscape) OnPauseContinue(window);
    } else if (message == WndMsgDestroyed && window == PauseMenuWnd) {
        // Its buttons went with it.
        ClearPauseGlobals();
    }
    return 1;
}

uint32_t OnPauseContinue(CNztWnd*) {
    CNztWnd* menu = PauseMenuWnd;
    ClearPauseGlobals();
    DestroyWnd(menu);
    if (menu != nullptr) TraceInterface("pause menu closed");
    return 1;
}

uint32_t OnPauseSettings(CNztWnd*) {
    OpenSettingsScreen();
    return 1;
}

uint32_t OnPauseQuit(CNztWnd* button) {
    OnPauseContinue(button);
    // Cleared to zero but for the action, its sub-code and a full State, built afresh each time so
    // that no earlier run leaves it disarmed.
    PauseQuitRecord = EventRecord{};
    PauseQuitRecord.Action = ActionSystemCommand;
    PauseQuitRecord.Param = kQuitSubCode;
    PauseQuitRecord.State = 1.0f;
    GameEventObject.ExecuteAction(&PauseQuitRecord);
    return 1;
}

uint32_t OpenSettingsScreen() {
    if (SettingsWnd != nullptr) return 0;
    float topKey = 0.0f;
    for (uint32_t i = 0; i < WndCount; ++i)
        if (i == 0 || WndList[i]->depthKey > topKey) topKey = WndList[i]->depthKey;
    const float depth = topKey + 1.0f;
    UseSmallFont();
    SavedMusicVolume = CurrentMusicVolume();
    SavedSoundVolume = CurrentSoundVolume();
    const SettingsScreenLook& look = SettingsLook;
    SettingsWnd = CreateWnd("Setting", UnitX(353.5f), UnitY(313.5f), UnitX(317.0f), UnitY(141.0f), look.windowImage);
    if (SettingsWnd == nullptr) return 0;
    CNztWnd* w = SettingsWnd;
    Bare(w);
    w->colour[3] = 1.0f;
    w->depthKey = depth;
    w->border = look.windowBorder;
    w->titleBar = w->captionButtons = 0;
    w->opaqueWhenFocused = 0;
    w->takesKeys = 1;
    w->movable = 1;
    w->eventCallback = SettingsCallback;
    w->UpdateRect();
    MusicSlider = VolumeSlider("Music", 40.0f, OnMusicSliderChanged, CurrentMusicVolume(), depth);
    MusicValueLabel = ValueLabel(37.0f);
    SoundSlider = VolumeSlider("Sound", 67.0f, OnSoundSliderChanged, CurrentSoundVolume(), depth);
    SoundValueLabel = ValueLabel(64.0f);
    SettingsYesButton = ImageButton(121.5f, OnSettingsYes, look.yesImage, look.yesPassOverImage, look.yesBorder, depth);
    SettingsNoButton = ImageButton(163.5f, OnSettingsNo, look.noImage, look.noPassOverImage, look.noBorder, depth);
    // Every window of the screen, labels included, draws above what existed before.
    for (uint32_t i = 0; i < w->childCount; ++i) w->children[i]->depthKey = depth;
    SetFocusWnd(w);
    OnMusicSliderChanged(MusicSlider);
    OnSoundSliderChanged(SoundSlider);
    w->UpdateRect();
    LayoutSettingsScreen();
    return 1;
}

uint32_t OnMusicSliderChanged(CNztWnd*) {
    if (MusicSlider == nullptr) return 1;
    const float v = Clamp100(MusicSlider->value);
    ApplyMusicVolume(v * 0.01f);
    ShowPercent(MusicValueLabel, v);
    return 1;
}

uint32_t OnSoundSliderChanged(CNztWnd*) {
    if (SoundSlider == nullptr) return 1;
    const float v = Clamp100(SoundSlider->value);
    ApplySoundVolume(v * 0.01f);
    ShowPercent(SoundValueLabel, v);
    return 1;
}

uint32_t SettingsCallback(uint32_t message, CNztWnd* window, float a, float, float) {
    if (message == WndMsgBeforeBody) {
        UseSmallFont();
    } else if (message == WndMsgKeyUp) {
        const auto key = static_cast<uint32_t>(a);
        if (key == kKeyEnter) OnSettingsYes(window);
        if (key == kKeyEscape) OnSettingsNo(window);
    } else if (message == WndMsgDestroyed && window == SettingsWnd) {
        ClearSettingsGlobals();
    }
    return 1;
}

void CloseSettingsScreen() {
    CNztWnd* w = SettingsWnd;
    ClearSettingsGlobals();
    DestroyWnd(w);
}

uint32_t OnSettingsYes(CNztWnd*) {
    CloseSettingsScreen();
    return 1;
}

uint32_t OnSettingsNo(CNztWnd*) {
    RestoreSavedVolumes();
    CloseSettingsScreen();
    return 1;
}

void RestoreSavedVolumes() { FadeVolumesTo(SavedMusicVolume, SavedSoundVolume); }

void LayoutSettingsScreen() {
    if (SettingsWnd == nullptr) return;
    const float size = RenderState.currentFontSize;
    const float inverse = size != 0.0f ? 1.0f / size : 0.0f;
    SettingsWnd->fontSize = size;
    SettingsWnd->inverseFontSize = inverse;
    MeasureText(SettingsWnd->text, &SettingsWnd->textWidth, &SettingsWnd->textHeight, &SettingsWnd->textDepth);
    for (CNztWnd_Info* label : {MusicValueLabel, SoundValueLabel}) {
        if (label == nullptr) continue;
        label->fontSize = size;
        label->inverseFontSize = inverse;
        MeasureText(label->label, &label->textWidth, &label->textHeight, &label->textDepth);
        MeasureText("0", &label->sampleWidth, &label->sampleHeight, &label->sampleDepth);
        label->textOffsetX = 0.0f;
        label->textOffsetY = UnitY(9.5f) - label->sampleHeight;
    }
}
