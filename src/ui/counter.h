// Counters: HUD objects that show one number as digits, a bar filling in one of four directions,
// or a turning needle. Geometry is authored in a virtual 1024 x 768 screen and scaled to the real
// screen whenever a window is created, placed or sized.
#pragma once

#include <cstddef>
#include <cstdint>

#include "objects/events.h"

class CNztWnd;
class CNztWnd_Info;
class BinReader;
class BinWriter;

// The counter's fixed record in scene files: 376 bytes, little-endian.
struct CounterRecord {
    uint32_t kind = 0;  // 0..6
    float x = 0.0f, y = 0.0f;
    float width = 0.0f, height = 0.0f;  // image size (kinds 0, 1) or full size (kinds 2..6)
    float value = 0.0f;
    int32_t parentIndex = -1;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    float minimum = 0.0f, maximum = 0.0f;
    uint32_t textShadow = 0;
    uint32_t textColour = 0xFFFFFFFFu;  // 0xFFRRGGBB; the top byte is ignored on reading
    uint32_t digitCount = 0;
    char name[64] = {};
    char imageName[256] = {};
};
inline constexpr size_t CounterRecordBytes = 376;
// Reads one record; text fields forced to end in zero. False when the bytes run out.
bool ReadCounterRecord(BinReader& in, CounterRecord* record);
void WriteCounterRecord(BinWriter& out, const CounterRecord& record);

// The ".cnt" save: u32 version 1000, then the f32 value.
inline constexpr uint32_t CounterSaveVersion = 1000;
inline constexpr size_t CounterSaveBytes = 8;
// False when the bytes are too few or the version differs.
bool ParseCounterSave(const uint8_t* data, size_t bytes, float* value);

class NztCounter : public NztEventObject {
public:
    NztCounter();

    void InitValue();
    void SetValue(float v);
    // The automatic source, run from the window callback before drawing.
    void Update() override;
    void SetValueFromPointer(float x, float y);
    void UpdateGauge(float v);
    void SetMinimum(float v);
    void AddToMinimum(float d);
    void MultiplyMinimum(float f);
    void DivideMinimum(float f);
    void SetMaximum(float v);
    void SetImage(const char* stem);
    void Show();
    void Hide();
    void Enable();
    void Disable();
    void SetDepth(float key);
    void Place();
    void Resize();
    void RefreshTextSize();
    void SaveValue(const char* name);
    uint32_t LoadValue(const char* name);
    void DestroyWnds();
    void Release();
    void FillSceneRecord(CounterRecord* record) const;

    CNztWnd* mainWnd = nullptr;
    uint32_t counterKind = 0;
    uint32_t interactive = 0;
    CNztWnd* imageWnd = nullptr;
    CNztWnd_Info* textWnd = nullptr;
    float target = 0.0f;
    float smoothing = 0.0f;  // [0, 1); 0 = no easing
    float value = 0.0f;
    float step = 0.0f;
    float interval = 0.0f;  // seconds; 0 = no automatic reading
    float elapsed = 0.0f;
    int32_t randomRange = 1;
    float textX = 0.0f, textY = 0.0f;
    float baseX = 5.0f, baseY = 5.0f;
    float x = 5.0f, y = 5.0f;
    float width = 64.0f, height = 64.0f;
    float textWidth = 64.0f, textHeight = 64.0f;
    float baseFullWidth = 64.0f, baseFullHeight = 64.0f;
    float fullWidth = 64.0f, fullHeight = 64.0f;
    int32_t parentIndex = -1;
    CNztWnd* parentWnd = nullptr;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t textShadow = 0;
    float textColour[3] = {1.0f, 1.0f, 1.0f};
    float minimum = 0.0f;
    float maximum = 1000.0f;
    float maximum2 = 1000.0f;  // same as maximum; read by the pointer mapping and the volume actions
    float inverseMaximum = 0.001f;
    float turnPerUnit = 4.096f;  // needle angle per unit of value, 4096 = one turn
    char name[64] = {};
    char imageName[256] = {};
    uint32_t source = 0;
    uint32_t digitCount = 0;  // 0: as many as needed; 1..9: fixed width with leading zeros
    char text[32] = {};

    float ReadSource();
    void ShowDigits(bool rounded);
};

extern NztCounter** CounterList;
extern int32_t CounterCount;

NztCounter* CreateCounter(const CounterRecord& record);
void BuildCounterWnds(NztCounter* counter, const CounterRecord& record);
const char* FormatCounterText(NztCounter* counter);
void AttachCounterToGameUI(NztCounter* counter, int32_t index);
void LayoutAllCounters();
void DeleteCounterSave(const char* name);
void DestroyAllCounters();
NztCounter* GetCounter(int32_t index);
uint32_t CounterWndCallback(uint32_t message, CNztWnd* window, float f1, float f2, float f3);
