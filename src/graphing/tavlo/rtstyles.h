#pragma once

#include <QObject>

#include <cstdint>

// A 32-bit ARGB colour; alpha 0 is fully transparent.
using TRtColor = std::uint32_t;

namespace RtColors {
constexpr TRtColor Black = 0xFF000000;
constexpr TRtColor White = 0xFFFFFFFF;
constexpr TRtColor Red = 0xFFFF0000;
constexpr TRtColor Blue = 0xFF0000FF;
constexpr TRtColor Gray = 0xFF808080;
constexpr TRtColor LightGray = 0xFFD3D3D3;
constexpr TRtColor DarkGray = 0xFFA9A9A9;
constexpr TRtColor MiddleGray = 0xFFB0B0B0;
} // namespace RtColors

// Style objects: persistent sub-objects owned by the object they style. A change through the
// property system signals Changed.

class TRtGradientSettings : public QObject {
    Q_OBJECT
public:
    enum TStyle { Linear, Radial, Elliptical };
    Q_ENUM(TStyle)
private:
    Q_PROPERTY(bool Visible MEMBER Visible NOTIFY Changed)
    Q_PROPERTY(TStyle Style MEMBER Style NOTIFY Changed)
    Q_PROPERTY(TRtColor FirstColor MEMBER FirstColor NOTIFY Changed)
    Q_PROPERTY(TRtColor MiddleColor MEMBER MiddleColor NOTIFY Changed)
    Q_PROPERTY(TRtColor LastColor MEMBER LastColor NOTIFY Changed)
    Q_PROPERTY(float LinearAngle MEMBER LinearAngle NOTIFY Changed)
    Q_PROPERTY(float LinearCenter MEMBER LinearCenter NOTIFY Changed)
    Q_PROPERTY(float RadialCenterX MEMBER RadialCenterX NOTIFY Changed)
    Q_PROPERTY(float RadialCenterY MEMBER RadialCenterY NOTIFY Changed)
public:
    explicit TRtGradientSettings(QObject* owner = nullptr) : QObject(owner) {}
    bool Visible = false;
    TStyle Style = Linear;
    TRtColor FirstColor = RtColors::LightGray;
    TRtColor MiddleColor = RtColors::MiddleGray;
    TRtColor LastColor = RtColors::Gray;
    float LinearAngle = 90;
    float LinearCenter = 0.5f;
    float RadialCenterX = 0.5f;
    float RadialCenterY = 0.5f;
signals:
    void Changed();
};

class TRtSimpleLineSettings : public QObject {
    Q_OBJECT
public:
    enum TDashStyle {
        DashStyleSolid,
        DashStyleDash,
        DashStyleDot,
        DashStyleDashDot,
        DashStyleDashDotDot,
        DashStyleCustom
    };
    Q_ENUM(TDashStyle)
private:
    Q_PROPERTY(TRtColor Color MEMBER Color NOTIFY Changed)
    Q_PROPERTY(float Width MEMBER Width NOTIFY Changed)
    Q_PROPERTY(TDashStyle DashStyle MEMBER DashStyle NOTIFY Changed)
public:
    explicit TRtSimpleLineSettings(QObject* owner = nullptr)
        : QObject(owner), Gradient(new TRtGradientSettings(this)) {}
    TRtColor Color = RtColors::Red;
    float Width = 1;
    TDashStyle DashStyle = DashStyleSolid;
    TRtGradientSettings* const Gradient;
signals:
    void Changed();
};

class TRtLineSettings : public TRtSimpleLineSettings {
    Q_OBJECT
    Q_PROPERTY(bool Visible MEMBER Visible NOTIFY Changed)
public:
    explicit TRtLineSettings(QObject* owner = nullptr) : TRtSimpleLineSettings(owner) {}
    bool Visible = true;
};

class TRtAreaSettings : public QObject {
    Q_OBJECT
public:
    // The hatch styles, then Total for a solid fill.
    enum TAreaStyle {
        Horizontal, Vertical, ForwardDiagonal, BackwardDiagonal, Cross, DiagonalCross,
        Percent05, Percent10, Percent20, Percent25, Percent30, Percent40, Percent50, Percent60,
        Percent70, Percent75, Percent80, Percent90, LightDownwardDiagonal, LightUpwardDiagonal,
        DarkDownwardDiagonal, DarkUpwardDiagonal, WideDownwardDiagonal, WideUpwardDiagonal,
        LightVertical, LightHorizontal, NarrowVertical, NarrowHorizontal, DarkVertical,
        DarkHorizontal, DashedDownwardDiagonal, DashedUpwardDiagonal, DashedHorizontal,
        DashedVertical, SmallConfetti, LargeConfetti, ZigZag, Wave, DiagonalBrick,
        HorizontalBrick, Weave, Plaid, Divot, DottedGrid, DottedDiamond, Shingle, Trellis,
        Sphere, SmallGrid, SmallCheckerBoard, LargeCheckerBoard, OutlinedDiamond, SolidDiamond,
        Total
    };
    Q_ENUM(TAreaStyle)
private:
    Q_PROPERTY(bool Visible MEMBER Visible NOTIFY Changed)
    Q_PROPERTY(TRtColor ForeColor MEMBER ForeColor NOTIFY Changed)
    Q_PROPERTY(TRtColor BackColor MEMBER BackColor NOTIFY Changed)
    Q_PROPERTY(TAreaStyle AreaStyle MEMBER AreaStyle NOTIFY Changed)
public:
    explicit TRtAreaSettings(QObject* owner = nullptr)
        : QObject(owner), Gradient(new TRtGradientSettings(this)) {}
    bool Visible = false;
    TRtColor ForeColor = RtColors::LightGray;
    TRtColor BackColor = RtColors::DarkGray;
    TAreaStyle AreaStyle = Total;
    TRtGradientSettings* const Gradient;
signals:
    void Changed();
};

class TRtPointSymbolSettings : public QObject {
    Q_OBJECT
public:
    enum TPointSymbol { Dot, Cross, Ex, Star, FiveStar, Circle, Square, Diamond, Delta, Nabla };
    Q_ENUM(TPointSymbol)
private:
    Q_PROPERTY(bool Visible MEMBER Visible NOTIFY Changed)
    Q_PROPERTY(float Size MEMBER Size NOTIFY Changed)
    Q_PROPERTY(float BorderLineWidth MEMBER BorderLineWidth NOTIFY Changed)
    Q_PROPERTY(TRtColor BorderColor MEMBER BorderColor NOTIFY Changed)
    Q_PROPERTY(TRtColor FillColor MEMBER FillColor NOTIFY Changed)
    Q_PROPERTY(TPointSymbol PointSymbol MEMBER PointSymbol NOTIFY Changed)
public:
    explicit TRtPointSymbolSettings(QObject* owner = nullptr) : QObject(owner) {}
    bool Visible = true;
    float Size = 5;
    float BorderLineWidth = 1;
    TRtColor BorderColor = RtColors::Black;
    TRtColor FillColor = RtColors::Blue;
    TPointSymbol PointSymbol = Circle;
signals:
    void Changed();
};

class TRtArrowSettings : public TRtSimpleLineSettings {
    Q_OBJECT
    Q_PROPERTY(float PointLength MEMBER PointLength NOTIFY Changed)
    Q_PROPERTY(float InnerLength MEMBER InnerLength NOTIFY Changed)
    Q_PROPERTY(float PointHeight MEMBER PointHeight NOTIFY Changed)
public:
    explicit TRtArrowSettings(QObject* owner = nullptr) : TRtSimpleLineSettings(owner) {}
    float PointLength = 10;
    float InnerLength = 8;
    float PointHeight = 4;
};

class TRtAxisArrowPoint : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Visible MEMBER Visible NOTIFY Changed)
    Q_PROPERTY(float PointLength MEMBER PointLength NOTIFY Changed)
    Q_PROPERTY(float InnerLength MEMBER InnerLength NOTIFY Changed)
    Q_PROPERTY(float PointHeight MEMBER PointHeight NOTIFY Changed)
public:
    explicit TRtAxisArrowPoint(QObject* owner = nullptr) : QObject(owner) {}
    bool Visible = false;
    float PointLength = 10;
    float InnerLength = 8;
    float PointHeight = 4;
signals:
    void Changed();
};
