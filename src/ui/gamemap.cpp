#include "ui/gamemap.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "camera/camera.h"
#include "core/binio.h"
#include "core/paths.h"
#include "ui/gameui.h"
#include "ui/uirecord.h"
#include "ui/wnd.h"

NztGameMap** GameMapList = nullptr;
int32_t GameMapCount = 0;
NztGameMap* CurrentGameMap = nullptr;

bool ReadGameMapRecord(BinReader& in, GameMapRecord* r) {
    in.Text(r->name);
    in.Text(r->imageName);
    r->opacity = in.F32();
    r->x = in.F32();
    r->y = in.F32();
    r->width = in.F32();
    r->height = in.F32();
    r->originFractionX = in.F32();
    r->originFractionY = in.F32();
    r->worldWidth = in.F32();
    r->worldDepth = in.F32();
    return in.Ok();
}

void WriteGameMapRecord(BinWriter& out, const GameMapRecord& r) {
    WriteFixedText(out, r.name);
    WriteFixedText(out, r.imageName);
    out.F32(r.opacity);
    out.F32(r.x);
    out.F32(r.y);
    out.F32(r.width);
    out.F32(r.height);
    out.F32(r.originFractionX);
    out.F32(r.originFractionY);
    out.F32(r.worldWidth);
    out.F32(r.worldDepth);
}

NztGameMap::NztGameMap() {
    kind = ObjectKindGameMap;
    range = 500.0f;
}

NztGameMap* CreateGameMap(const GameMapRecord& record) {
    auto* grown = static_cast<NztGameMap**>(std::realloc(GameMapList, (size_t(GameMapCount) + 1) * sizeof(NztGameMap*)));
    if (grown == nullptr) return nullptr;
    GameMapList = grown;
    auto* m = new NztGameMap;
    GameMapList[GameMapCount] = m;
    BuildGameMapWnd(m, record);
    ++GameMapCount;
    CurrentGameMap = m;
    return m;
}

void BuildGameMapWnd(NztGameMap* m, const GameMapRecord& r) {
    std::snprintf(m->name, sizeof m->name, "%s", r.name);
    std::snprintf(m->imageName, sizeof m->imageName, "%s", r.imageName);
    m->opacity = FiniteOr(r.opacity, 1.0f);
    m->x = FiniteOr(r.x, 0.0f);
    m->y = FiniteOr(r.y, 0.0f);
    m->width = FiniteOr(r.width, 0.0f);
    m->height = FiniteOr(r.height, 0.0f);
    m->originFractionX = FiniteOr(r.originFractionX, 0.5f);
    m->originFractionY = FiniteOr(r.originFractionY, 0.5f);
    m->worldWidth = FiniteOr(r.worldWidth, 10000.0f);
    m->worldDepth = FiniteOr(r.worldDepth, 10000.0f);
    m->originX = m->width * m->originFractionX;
    m->originY = m->height * m->originFractionY;
    m->halfWidth = m->width * 0.5f;
    m->halfHeight = m->height * 0.5f;
    const float sx = HudScaleX(), sy = HudScaleY();
    char image[300];
    CNztWnd_Button* w = CreateButtonWnd(nullptr, nullptr, m->x * sx, m->y * sy, m->width * sx, m->height * sy, nullptr,
                                        nullptr, UiImageFile(image, m->imageName) ? image : nullptr, nullptr);
    m->mapWnd = w;
    if (w == nullptr) return;
    w->owner = m;
    w->colour[3] = m->opacity;
    w->border = w->movable = w->resizable = 0;
    w->opaqueWhenFocused = 0;
    w->pressInflate = 0.0f;
    w->eventCallback = GameMapWndCallback;
}

void NztGameMap::FillSceneRecord(GameMapRecord* r) const {
    *r = GameMapRecord{};
    std::snprintf(r->name, sizeof r->name, "%s", name);
    std::snprintf(r->imageName, sizeof r->imageName, "%s", imageName);
    r->opacity = opacity;
    r->x = x;
    r->y = y;
    r->width = width;
    r->height = height;
    r->originFractionX = originFractionX;
    r->originFractionY = originFractionY;
    r->worldWidth = worldWidth;
    r->worldDepth = worldDepth;
}

void NztGameMap::Show() {
    if (mapWnd != nullptr) mapWnd->SetChildrenVisible(1);
}

void NztGameMap::Hide() {
    if (mapWnd != nullptr) mapWnd->SetChildrenVisible(0);
}

void NztGameMap::SetPos(float px, float py) {
    x = FiniteOr(px, x);
    y = FiniteOr(py, y);
    originX = width * originFractionX;
    originY = height * originFractionY;
    if (mapWnd != nullptr) mapWnd->SetPos(x * HudScaleX(), y * HudScaleY());
    PlaceFixedMarkers();
    PlaceFollowedMarkers();
}

void NztGameMap::SetSize(float w, float h) {
    width = FiniteOr(w, width);
    height = FiniteOr(h, height);
    originX = width * originFractionX;
    originY = height * originFractionY;
    halfWidth = width * 0.5f;
    halfHeight = height * 0.5f;
    if (mapWnd != nullptr) mapWnd->SetSize(width * HudScaleX(), height * HudScaleY());
    PlaceFixedMarkers();
    PlaceFollowedMarkers();
}

void NztGameMap::SetOpacity(float a) {
    opacity = a;
    if (mapWnd != nullptr) mapWnd->colour[3] = a;
}

void NztGameMap::Layout() {
    const float sx = HudScaleX(), sy = HudScaleY();
    if (mapWnd != nullptr) {
        mapWnd->SetPos(x * sx, y * sy);
        mapWnd->SetSize(width * sx, height * sy);
    }
    for (int32_t i = markerCount; i-- > 0;)
        if (markers[i].window != nullptr) markers[i].window->SetSize(markers[i].width * sx, markers[i].height * sy);
    PlaceFixedMarkers();
    PlaceFollowedMarkers();
}

void NztGameMap::MarkerPlace(const GameMapMarker& m, float wx, float wz, float* px, float* py) const {
    const float fx = wx / worldWidth * width;
    const float fy = wz / worldDepth * height;
    // A map without world extent shows every marker on the origin.
    *px = (std::isfinite(fx) ? fx : 0.0f) - m.anchorOffsetX + originX;
    *py = (std::isfinite(fy) ? fy : 0.0f) - m.anchorOffsetY + originY;
}

void NztGameMap::PlaceMarker(GameMapMarker& m, float wx, float wz) {
    if (m.window == nullptr) return;
    float px, py;
    MarkerPlace(m, wx, wz, &px, &py);
    const float oldLeft = m.window->left, oldTop = m.window->top;
    m.window->SetPos(px * HudScaleX(), py * HudScaleY());
    if (m.window->left != oldLeft || m.window->top != oldTop)
        TraceInterface("marker %s at %.1f %.1f", m.name, m.window->left, m.window->top);
}

void NztGameMap::PlaceFixedMarkers() {
    for (int32_t i = markerCount; i-- > 0;)
        if (markers[i].object == 0) PlaceMarker(markers[i], markers[i].worldX, markers[i].worldZ);
}

void NztGameMap::PlaceFollowedMarkers() {
    for (int32_t i = markerCount; i-- > 0;) {
        GameMapMarker& m = markers[i];
        if (m.object == 0) continue;
        NztEventObject* o = ResolveEventObject(m.object);
        if (o == nullptr) {
            // The object is gone: the marker stays where it last was.
            m.object = 0;
            PlaceMarker(m, m.worldX, m.worldZ);
            continue;
        }
        m.worldX = o->Position[0];
        m.worldZ = o->Position[2];
        PlaceMarker(m, m.worldX, m.worldZ);
        auto* b = dynamic_cast<NztBaseObject*>(o);
        if (m.turns == 0 || m.window == nullptr || b == nullptr) continue;
        float q[4];
        MatrixToQuat(b->rotation, q);
        const float w = q[0] > 1.0f ? 1.0f : (q[0] < -1.0f ? -1.0f : q[0]);
        const float angle = 2.0f * std::acos(w);
        const float s = std::sqrt(std::fmax(0.0f, 1.0f - w * w));
        const float heading = s < 0.001f ? angle * q[2] : angle * (q[2] / s);
        CNztWnd* win = m.window;
        // The turn in the screen plane is the window's second angle.
        win->angle2 = 2048.0f - heading * 651.8986f;
        win->angle1 = win->angle3 = 0.0f;
        win->pivotX = win->screenLeft + (win->screenRight - win->screenLeft) * m.anchorX;
        win->pivotY = win->screenTop + (win->screenBottom - win->screenTop) * m.anchorY;
    }
}

void NztGameMap::AddMarker(NztEventObject* object, uint32_t turns, float wx, float wz, float w, float h, float ax,
                           float ay, float markerOpacity, const char* stem, const char* markerName) {
    const float sx = HudScaleX(), sy = HudScaleY();
    w = FiniteOr(w, 0.0f);
    h = FiniteOr(h, 0.0f);
    char image[300];
    CNztWnd* win = CreateWnd(nullptr, 0.0f, 0.0f, w * sx, h * sy, UiImageFile(image, stem) ? image : nullptr);
    if (win == nullptr) return;
    win->minimumWidth = win->minimumHeight = win->captionHeight = 0.0f;
    win->titleBar = win->captionButtons = win->border = 0;
    win->movable = win->resizable = 0;
    win->SetSize(w * sx, h * sy);
    win->colour[3] = markerOpacity;
    if (win->parent != nullptr) win->parent->RemoveChild(win);
    win->parent = mapWnd;
    if (mapWnd != nullptr) mapWnd->AddChild(win);
    win->UpdateRect();
    auto* grown =
        static_cast<GameMapMarker*>(std::realloc(markers, (size_t(markerCount) + 1) * sizeof(GameMapMarker)));
    if (grown == nullptr) {
        DestroyWnd(win, 1);
        return;
    }
    markers = grown;
    GameMapMarker m;
    m.window = win;
    m.turns = turns;
    m.object = object != nullptr ? object->Handle() : 0;
    m.worldX = FiniteOr(wx, 0.0f);
    m.worldZ = FiniteOr(wz, 0.0f);
    m.anchorX = FiniteOr(ax, 0.0f);
    m.anchorY = FiniteOr(ay, 0.0f);
    m.width = w;
    m.height = h;
    m.anchorOffsetX = w * m.anchorX;
    m.anchorOffsetY = h * m.anchorY;
    std::snprintf(m.name, sizeof m.name, "%s", markerName ? markerName : "");
    markers[markerCount++] = m;
    if (object != nullptr) {
        m.worldX = object->Position[0];
        m.worldZ = object->Position[2];
        markers[markerCount - 1].worldX = m.worldX;
        markers[markerCount - 1].worldZ = m.worldZ;
    }
    PlaceMarker(markers[markerCount - 1], m.worldX, m.worldZ);
}

int32_t NztGameMap::FindMarker(const char* markerName) const {
    if (markerName == nullptr) return -1;
    for (int32_t i = markerCount; i-- > 0;)
        if (strcasecmp(markers[i].name, markerName) == 0) return i;
    return -1;
}

void NztGameMap::RemoveMarker(const char* markerName) {
    const int32_t i = FindMarker(markerName);
    if (i < 0) return;
    CNztWnd* w = markers[i].window;
    for (int32_t j = i + 1; j < markerCount; ++j) markers[j - 1] = markers[j];
    --markerCount;
    if (w != nullptr) DestroyWnd(w, 1);
}

void NztGameMap::ClearMarkers() {
    GameMapMarker* old = markers;
    const int32_t count = markerCount;
    markers = nullptr;
    markerCount = 0;
    for (int32_t i = count; i-- > 0;)
        if (old[i].window != nullptr) DestroyWnd(old[i].window, 1);
    std::free(old);
}

void NztGameMap::SetMarkerImage(const char* markerName, const char* stem) {
    const int32_t i = FindMarker(markerName);
    if (i < 0 || markers[i].window == nullptr) return;
    char image[300];
    markers[i].window->SetImage(UiImageFile(image, stem) ? image : nullptr);
}

void NztGameMap::Release() {
    ClearEvents();
    eventRecordCount = 0;
    ClearMarkers();
    if (mapWnd != nullptr) {
        CNztWnd* w = mapWnd;
        mapWnd = nullptr;
        w->eventCallback = nullptr;
        DestroyWnd(w, 1);
    }
}

NztGameMap* GetGameMap(int32_t index) {
    return index >= 0 && index < GameMapCount ? GameMapList[index] : nullptr;
}

void LayoutAllGameMaps() {
    for (int32_t i = GameMapCount; i-- > 0;)
        if (GameMapList[i] != nullptr) GameMapList[i]->Layout();
}

void DestroyAllGameMaps() {
    for (int32_t i = GameMapCount; i-- > 0;) {
        if (GameMapList[i] == nullptr) continue;
        GameMapList[i]->Release();
        delete GameMapList[i];
    }
    std::free(GameMapList);
    GameMapList = nullptr;
    GameMapCount = 0;
    CurrentGameMap = nullptr;
}

uint32_t GameMapWndCallback(uint32_t message, CNztWnd* window, float, float, float) {
    auto* m = window != nullptr ? static_cast<NztGameMap*>(window->owner) : nullptr;
    if (m == nullptr) return 1;
    if (message == WndMsgDrawStart) {
        m->PlaceFollowedMarkers();
    } else if (message == WndMsgDestroyed && m->mapWnd == window) {
        // The markers went with the map window.
        m->mapWnd = nullptr;
        for (int32_t i = m->markerCount; i-- > 0;) m->markers[i].window = nullptr;
    }
    return 1;
}
