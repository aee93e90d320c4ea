#include "ArchiverOptions.h"

QString UnsetMarker()
{
    return QString(QChar(0));
}

bool IsUnset(const QString& text)
{
    return text.size() == 1 && text.at(0).unicode() == 0;
}

void TArchiverOptions::Reset()
{
    for (Num* v :
         {&a,   &c,  &e,   &f,   &h,   &i,   &l,   &m,  &n,  &o,   &p,   &r,   &s,   &t,   &u,   &x,   &y,   &z,   &jc,
          &jd,  &je, &jf,  &jh,  &ji,  &jm,  &jn,  &jp, &jr, &jsb, &jsc, &jsd, &jse, &jsf, &jsl, &jso, &jss, &jst, &jsv,
          &jsz, &jw, &jyc, &jyd, &jyk, &jyn, &jyo, &ga, &gd, &ge,  &gf,  &gj,  &gm,  &gn,  &go,  &gp,  &gs,  &gu,  &gw})
        *v = -1;
    for (QString* t : {&w, &jo, &job, &jz, &gr})
        *t = UnsetMarker();
    jx.clear();
    UserOptions.clear();
    UserFileList.clear();
    ResFileName.clear();
    PackFilter = pfComponent;
    ResFileUsage = TResFileUsage{ruOnPack, ruOnUnpack, ruOnRemoveItem};
}

TArchiverOptions& TArchiverOptions::operator=(const TArchiverOptions& other)
{
    if (this == &other)
        return *this;
    const TResFileUsage keep = ResFileUsage;
    a = other.a;
    c = other.c;
    e = other.e;
    f = other.f;
    h = other.h;
    i = other.i;
    l = other.l;
    m = other.m;
    n = other.n;
    o = other.o;
    p = other.p;
    r = other.r;
    s = other.s;
    t = other.t;
    u = other.u;
    w = other.w;
    x = other.x;
    y = other.y;
    z = other.z;
    jc = other.jc;
    jd = other.jd;
    je = other.je;
    jf = other.jf;
    jh = other.jh;
    ji = other.ji;
    jm = other.jm;
    jn = other.jn;
    jo = other.jo;
    job = other.job;
    jp = other.jp;
    jr = other.jr;
    jsb = other.jsb;
    jsc = other.jsc;
    jsd = other.jsd;
    jse = other.jse;
    jsf = other.jsf;
    jsl = other.jsl;
    jso = other.jso;
    jss = other.jss;
    jst = other.jst;
    jsv = other.jsv;
    jsz = other.jsz;
    jw = other.jw;
    jx = other.jx;
    jyc = other.jyc;
    jyd = other.jyd;
    jyk = other.jyk;
    jyn = other.jyn;
    jyo = other.jyo;
    jz = other.jz;
    ga = other.ga;
    gd = other.gd;
    ge = other.ge;
    gf = other.gf;
    gj = other.gj;
    gm = other.gm;
    gn = other.gn;
    go = other.go;
    gp = other.gp;
    gr = other.gr;
    gs = other.gs;
    gu = other.gu;
    gw = other.gw;
    UserOptions = other.UserOptions;
    UserFileList = other.UserFileList;
    PackFilter = other.PackFilter;
    ResFileName = other.ResFileName;
    ResFileUsage = keep;
    return *this;
}
