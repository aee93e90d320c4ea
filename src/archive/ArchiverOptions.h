#pragma once
// Archive formats and the options of an archive operation.
#include <QString>
#include <QStringList>

#include <cstdint>

enum TArchiverType : int {
    atLha = 0,
    atZip,
    atCab,
    atArj,
    atTar,
    atTgz,
    atBZ2,
    atRar,
    atBga,
    atYz1,
    atGCA,
    atBel,
    at7z,
    atNone,
    atAutoDetect,
};

// The marker of a text option that is not set: one character of code 0.
QString UnsetMarker();
bool IsUnset(const QString& text);

enum TPackFilter { pfArchiver, pfComponent };

enum TResFileUse { ruOnPack, ruOnUnpack, ruOnRemoveItem, ruOnUpdate };

// A set of TResFileUse values.
class TResFileUsage {
public:
    constexpr TResFileUsage() = default;
    constexpr TResFileUsage(std::initializer_list<TResFileUse> uses)
    {
        for (TResFileUse u : uses)
            m_bits |= Bit(u);
    }
    constexpr bool Contains(TResFileUse u) const { return (m_bits & Bit(u)) != 0; }
    constexpr void Include(TResFileUse u) { m_bits |= Bit(u); }
    constexpr void Exclude(TResFileUse u) { m_bits &= ~Bit(u); }
    constexpr bool operator==(const TResFileUsage&) const = default;

private:
    static constexpr std::uint8_t Bit(TResFileUse u) { return std::uint8_t(1u << int(u)); }
    std::uint8_t m_bits = 0;
};

// One property per switch letter of the LHA command language plus the
// general properties. Numeric options are signed 8-bit, -1 = unset; text
// options are unset when they hold the unset marker; jx is unset when empty.
class TArchiverOptions {
public:
    TArchiverOptions() { Reset(); }
    // Copies every option except ResFileUsage, which this object keeps.
    TArchiverOptions(const TArchiverOptions& other)
    {
        Reset();
        *this = other;
    }
    TArchiverOptions& operator=(const TArchiverOptions& other);

    // Every numeric option -1, every text option unset, jx empty, the
    // general properties back to their defaults.
    void Reset();

    using Num = std::int8_t;

    Num a, c, e, f, h, i, l, m, n, o, p, r, s, t, u;
    QString w;
    Num x, y, z, jc, jd, je, jf, jh, ji, jm, jn;
    QString jo, job;
    Num jp, jr, jsb, jsc, jsd, jse, jsf, jsl, jso, jss, jst, jsv, jsz, jw;
    QStringList jx;
    Num jyc, jyd, jyk, jyn, jyo;
    QString jz;
    Num ga, gd, ge, gf, gj, gm, gn, go, gp;
    QString gr;
    Num gs, gu, gw;

    QString UserOptions;
    QString UserFileList;
    TPackFilter PackFilter = pfComponent;
    QString ResFileName;
    TResFileUsage ResFileUsage;
};
