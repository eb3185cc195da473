// The window toolkit and window manager: interface windows drawn with OpenGL over the scene, in
// screen pixels (x right, y down, origin at the top-left of the client area), the list that owns
// every window, the routing of mouse and key messages to them, depth order and drawing.
#pragma once

#include <cstdint>

class CNztWnd;
// Notified of everything that happens to a window: (message, window, a, b, c). The result is
// ignored.
using NztWndCallback = uint32_t (*)(uint32_t message, CNztWnd* window, float a, float b, float c);
// Called when a left click on the window completes (for sliders: when the value changes).
using NztWndClick = uint32_t (*)(CNztWnd* window);

// Window kinds.
constexpr uint32_t WndKindPlain = 0;
constexpr uint32_t WndKindEdit = 1;
constexpr uint32_t WndKindButton = 3;
constexpr uint32_t WndKindSlider = 5;
constexpr uint32_t WndKindInfo = 6;
constexpr uint32_t WndKind3D = 7;

// Messages of the event callback.
constexpr uint32_t WndMsgDestroyed = 2;
constexpr uint32_t WndMsgDrawStart = 3;  // every frame, hidden windows too
constexpr uint32_t WndMsgBeforeBody = 4;
constexpr uint32_t WndMsgAfterBody = 5;
constexpr uint32_t WndMsgDragged = 6;
constexpr uint32_t WndMsgLButtonDown = 100;
constexpr uint32_t WndMsgLButtonUp = 101;
constexpr uint32_t WndMsgLButtonDblClk = 102;
constexpr uint32_t WndMsgRButtonDown = 103;
constexpr uint32_t WndMsgRButtonUp = 104;
constexpr uint32_t WndMsgMButtonDown = 105;
constexpr uint32_t WndMsgMButtonUp = 106;
constexpr uint32_t WndMsgMouseEnter = 107;
constexpr uint32_t WndMsgMouseLeave = 108;
constexpr uint32_t WndMsgMouseMove = 109;
constexpr uint32_t WndMsgWheel = 110;
constexpr uint32_t WndMsgKeyDown = 111;
constexpr uint32_t WndMsgKeyUp = 112;
constexpr uint32_t WndMsgChar = 113;

// Caption and content texts hold at most this many characters before the terminating zero.
constexpr uint32_t WndTextMax = 255;

class CNztWnd {
public:
    CNztWnd() = default;
    virtual ~CNztWnd();
    CNztWnd(const CNztWnd&) = delete;
    CNztWnd& operator=(const CNztWnd&) = delete;

    virtual void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click);
    // Detaches the window, destroys its children, hides it, tells the callback (message 2),
    // releases its images and drops the focus. The window list frees the object (and its
    // children) once no dispatch is walking the windows any more.
    virtual void Destroy();
    virtual void OnChar(uint32_t code);
    virtual void OnKeyDown(uint32_t key);
    virtual void OnKeyUp(uint32_t key);
    virtual void OnLButtonDown(int32_t x, int32_t y, uint32_t flags);
    virtual void OnLButtonUp(int32_t x, int32_t y, uint32_t flags);
    virtual void OnLButtonDblClk(int32_t x, int32_t y, uint32_t flags);
    virtual void OnRButtonDown(int32_t x, int32_t y, uint32_t flags);
    virtual void OnRButtonUp(int32_t x, int32_t y, uint32_t flags);
    virtual void OnMButtonDown(int32_t x, int32_t y, uint32_t flags);
    virtual void OnMButtonUp(int32_t x, int32_t y, uint32_t flags);
    virtual void OnMouseMove(int32_t x, int32_t y, uint32_t flags);
    virtual void OnMouseWheel(int32_t x, int32_t y, uint32_t flags);
    virtual void SetPos(float x, float y);
    virtual void SetX(float x);
    virtual void SetY(float y);
    virtual void GetPos(float* x, float* y);
    virtual void Move(float dx, float dy);
    virtual void SetSize(float w, float h);
    virtual void SetWidth(float w);
    virtual void SetHeight(float h);
    virtual void Draw();

    // Copies at most WndTextMax characters and measures them with the current font.
    void SetText(const char* newText);
    // Replaces the background image; null leaves none.
    void SetImage(const char* name);
    void AddChild(CNztWnd* child);
    void RemoveChild(CNztWnd* child);
    // The window and all its descendants (see the .cpp for why the window itself is included).
    void SetChildrenVisible(uint32_t on);
    void SetChildrenEnabled(uint32_t on);
    void UpdateRect();
    void UpdateRectX();
    void UpdateRectY();
    // The base body: quad, caption strip and buttons, border, caption text.
    void DrawFrame();
    // The drawn quad's corners (screen pixels) turned by the window's three angles about its pivot.
    void TurnCorners(float corners[4][3]) const;
    // Sends a message to the event callback, if any.
    void Notify(uint32_t message, float a, float b, float c);
    // True while the window can take input.
    bool Live() const { return visible != 0 && interactive != 0 && enabled != 0 && destroyed == 0; }
    bool Inside(float x, float y) const {
        return screenLeft < x && x < screenRight && screenTop < y && y < screenBottom;
    }

    // The recursive handlers the dispatchers call on top-level windows.
    uint32_t HandleLButtonDown(int32_t x, int32_t y, uint32_t flags);
    uint32_t HandleLButtonUp(int32_t x, int32_t y, uint32_t flags, bool doubleClick);
    uint32_t HandleOtherButtonDown(int32_t x, int32_t y, uint32_t flags, bool middle);
    uint32_t HandleOtherButtonUp(int32_t x, int32_t y, uint32_t flags, bool middle);
    uint32_t HandleMouseMove(int32_t x, int32_t y, uint32_t flags);
    uint32_t HandleMouseWheel(int32_t x, int32_t y, uint32_t flags);
    void ToggleRollUp();
    void ToggleMaximise();

    char text[256] = {};
    uint32_t creationSerial = 0;
    uint32_t kind = WndKindPlain;
    float textWidth = 0.0f, textHeight = 0.0f, textDepth = 0.0f;
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
    float width = 0.0f, height = 0.0f;
    float textAnchorX = 0.0f, textAnchorY = 0.0f;
    float inflate = 0.0f;
    float angle1 = 0.0f, angle2 = 0.0f, angle3 = 0.0f;  // 4096 per turn
    float pivotX = 0.0f, pivotY = 0.0f;
    float screenLeft = 0.0f, screenTop = 0.0f, screenRight = 0.0f, screenBottom = 0.0f;
    float mouseX = 0.0f, mouseY = 0.0f;
    uint32_t visible = 1;
    uint32_t enabled = 1;
    uint32_t border = 1, titleBar = 1, captionButtons = 1, movable = 1, resizable = 1, interactive = 1;
    uint32_t depthTested = 0;
    float depthKey = 0.0f;
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    uint32_t opaqueWhenFocused = 1;
    uint32_t image = 0;
    uint32_t overlayImage = 0;
    uint32_t thirdImage = 0;
    float clientRect[4] = {};
    float titleRect[4] = {};
    float fontSize = 0.0f, inverseFontSize = 0.0f;
    uint32_t hasFocus = 0;
    uint32_t takesKeys = 0;
    CNztWnd* parent = nullptr;
    CNztWnd** children = nullptr;
    uint32_t childCount = 0;
    uint32_t leftDown = 0, rightDown = 0, middleDown = 0;
    uint32_t hover = 0, previousHover = 0;
    uint32_t wheelTaken = 0;
    uint32_t sunken = 0;
    uint32_t dragging = 0, resizing = 0, resizingWidth = 0, resizingHeight = 0;
    int32_t dragOffsetX = 0, dragOffsetY = 0;
    int32_t resizeOffsetX = 0, resizeOffsetY = 0;
    float minimumWidth = 50.0f, minimumHeight = 18.0f, captionHeight = 16.0f;
    uint32_t rolledUp = 0, maximised = 0;
    float heightBeforeRollUp = 0.0f;
    float rectBeforeMaximise[4] = {};
    float textColour[3] = {1.0f, 1.0f, 1.0f};
    NztWndClick clickHandler = nullptr;
    NztWndCallback eventCallback = nullptr;
    void* owner = nullptr;  // what the callback works on (a counter, the panel...)
    // The close caption button hides the window instead of destroying it (the console, which
    // lives for the whole run).
    uint32_t closeHides = 0;
    // Set by Destroy: the window takes no input, is not drawn and is freed by the list.
    uint32_t destroyed = 0;
};

// Push button with normal, pressed and pass-over images and an optional editable caption.
class CNztWnd_Button : public CNztWnd {
public:
    void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) override;
    void Destroy() override;
    void OnChar(uint32_t code) override;
    void OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    void OnLButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    void Draw() override;
    uint32_t normalImage = 0, pressedImage = 0, passOverImage = 0;
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t shadow = 0;
    uint32_t readOnlyCaption = 1;
    uint32_t captionCapacity = 256;
    float pressInflate = 0.0f;
};

struct ConsoleCommand {
    char* name;
    char* help;  // may be null
    void (*handler)(const char* word, const char* argument);
};

// Multi-line text log with an input line (the console).
class CNztWnd_Edit : public CNztWnd {
public:
    void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) override;
    void Destroy() override;
    void OnChar(uint32_t code) override;
    void OnKeyDown(uint32_t key) override;
    void OnKeyUp(uint32_t key) override;
    void OnMouseWheel(int32_t x, int32_t y, uint32_t flags) override;
    void Draw() override;
    ~CNztWnd_Edit() override;

    void StartNewLine();
    // Replaces the input line's text.
    void SetInputLine(const char* line);
    void Recall();
    // Runs the input line through the command table, then starts a new line.
    void ExecuteLine();
    void AddCommand(const char* name, const char* help, void (*handler)(const char*, const char*));
    int32_t VisibleLines() const;
    void FreeContents();

    uint32_t commandCount = 0;
    ConsoleCommand* commands = nullptr;
    int32_t scroll = 0;  // lines scrolled back from the newest
    uint32_t lineCount = 0;
    uint32_t inputLine = 0;
    uint32_t inputLength = 0;
    int32_t recallDepth = 0;
    char** lines = nullptr;
};

// Text label.
class CNztWnd_Info : public CNztWnd {
public:
    void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) override;
    void Draw() override;
    // Copies at most WndTextMax characters into the label.
    void SetText(const char* newText);
    char label[256] = {};
    float textOffsetX = 0.0f, textOffsetY = 0.0f;
    uint32_t shadow = 1;
    uint32_t clip = 1;
    float sampleWidth = 0.0f, sampleHeight = 0.0f, sampleDepth = 0.0f;
};

// Horizontal value slider.
class CNztWnd_Slider : public CNztWnd {
public:
    void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) override;
    void OnLButtonDown(int32_t x, int32_t y, uint32_t flags) override;
    void OnLButtonUp(int32_t x, int32_t y, uint32_t flags) override;
    void OnMouseMove(int32_t x, int32_t y, uint32_t flags) override;
    void OnMouseWheel(int32_t x, int32_t y, uint32_t flags) override;
    void SetWidth(float w) override;
    void SetHeight(float h) override;
    void Draw() override;
    void ClampThumb();
    void ValueFromPosition();
    void ComputeThumbRange();
    uint32_t thumbHeld = 0;
    uint32_t tracking = 0;
    uint32_t notifyOnChange = 0;
    float minimumValue = 0.0f, maximumValue = 100.0f;
    float value = 0.0f;
    float thumbPosition = 0.0f;  // client x of the thumb centre
    float lowestThumb = 0.0f, highestThumb = 0.0f;
    float thumbWidth = 25.0f, thumbHalfWidth = 12.5f;
    uint32_t thumbBevel = 1;
};

class NztBase3D;
class CNztCamera;

// A window that renders a world object through its own camera. The objects are not owned; their
// owner destroys the window before the objects go.
class CNztWnd_3D : public CNztWnd {
public:
    CNztWnd_3D();
    ~CNztWnd_3D() override;
    void Create(CNztWnd* parentWnd, float x, float y, float w, float h, NztWndClick click) override;
    void Destroy() override;
    void Draw() override;
    void ShowObject();
    void FrameObject(NztBase3D* object);
    void Reframe();
    NztBase3D* shownObject = nullptr;
    NztBase3D* secondObject = nullptr;
    float objectCentre[3] = {};
    float lookAt[3] = {};
    float zoom = 0.0f;
    uint8_t spinAllowed = 1, spinning = 0, showModel = 1;
    float spinSteps[2] = {};
    CNztCamera* camera = nullptr;  // the window's own view, owned

private:
    void DrawModels();
};

extern CNztWnd** WndList;
extern uint32_t WndCount;
extern uint32_t WndCapacity;
extern uint32_t WndSerial;
extern uint32_t WndPressTaken;
extern CNztWnd* FocusWnd;

// Returns the previous focus window.
CNztWnd* SetFocusWnd(CNztWnd* window);
void SendKeyDownToFocusWnd(CNztWnd* window, uint32_t code);
void SendKeyUpToFocusWnd(CNztWnd* window, uint32_t code);
void SendCharToFocusWnd(CNztWnd* window, uint32_t code);
// Each answers 1 when some window took the message.
uint32_t DispatchMouseMoveToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonDblClkToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchLButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchRButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchRButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchMButtonDownToWnds(int32_t x, int32_t y, uint32_t flags);
uint32_t DispatchMButtonUpToWnds(int32_t x, int32_t y, uint32_t flags);
// delta: the wheel turn, positive forwards (its sign reaches the windows as the flags word).
uint32_t DispatchMouseWheelToWnds(int32_t x, int32_t y, int32_t delta);
// Draws the cinema bars under the windows while the letterbox is on; installed by the layer that
// owns the frame (null: none drawn).
extern void (*WndCinemaBordersHook)();
// Quicksort on the depth key, highest first.
void SortWndsByDepth(CNztWnd** list, int32_t first, int32_t last);
void DrawAllWnds();
// Corners top-left, top-right, bottom-right, bottom-left on the 2-D plane (pixels from the
// viewport centre, y down). Needs a textured quad batch begun by the caller; rebinds only when the
// texture changes.
void DrawBatchedQuad(uint32_t texture, const float corners[4][3], float alpha);
// An untextured quad on the 2-D plane, shaded 1, 0.75, 0.5, 0.75 over the corners.
void DrawColoredQuad(const float corners[4][3], float red, float green, float blue, float alpha);
// rect: x, y, width, height in screen pixels; null turns the scissor test off.
void SetScissorToRect(const float* rect);

CNztWnd* CreateWnd(const char* caption, float x, float y, float width, float height, const char* image);
CNztWnd_Button* CreateButtonWnd(const char* caption, const char* passOverImage, float x, float y, float width,
                                float height, NztWndClick click, CNztWnd* parent, const char* normalImage,
                                const char* pressedImage);
CNztWnd_Info* CreateInfoWnd(const char* label, const char* image, float x, float y, float width, float height,
                            CNztWnd* parent);
// The label and the slider both get parent (the settings screen passes its window).
CNztWnd_Slider* CreateSliderWnd(const char* label, float x, float y, float width, float height, NztWndClick click,
                                const char* sliderImage, const char* thumbImage, CNztWnd* parent);
CNztWnd_3D* Create3DWnd(float x, float y, float width, float height, NztWndClick click, CNztWnd* parent);
// Appends a window made elsewhere (the console) to the list; false when the list cannot grow.
bool AppendWnd(CNztWnd* window);
void GrowWndList();
// Destroys a window of the list and its children; a window not in the list is left alone.
// Inside a dispatch or the drawing pass the objects are freed when the walk ends.
void DestroyWnd(CNztWnd* window, uint32_t shrink = 1);
void DestroyWndAt(uint32_t index, uint32_t shrink);
void DestroyAllWnds();

// With QUORVANE_TRACE_INTERFACE set in the environment, one line on stderr, "interface: " and the
// formatted text, for each change of what the interface shows (the image panel, the pause menu, the
// console, counter values, map markers); the end-to-end tests wait for them. Nothing otherwise.
void TraceInterface(const char* format, ...) __attribute__((format(printf, 1, 2)));
// True while window is in the list and not destroyed.
bool IsLiveWnd(const CNztWnd* window);
