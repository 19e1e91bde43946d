// World coordinates: parsing, writing, transforming and evaluating a celestial WCS.
#include "core/wcs.h"

#include "core/error.h"

#include <wcslib/wcs.h>
#include <wcslib/wcserr.h>
#include <wcslib/wcshdr.h>
#include <wcslib/wcsmath.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>

namespace quillon {

namespace {

constexpr int kMaxSipOrder = 9;

std::string trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\'')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\'')) --e;
    return std::string(s.substr(b, e - b));
}

std::string keywordOf(const std::string& card) {
    return trimmed(card.substr(0, 8));
}

bool valueOf(const std::string& card, double& v) {
    if (card.size() < 10 || card[8] != '=') return false;
    std::string text = card.substr(10, 70);
    if (auto slash = text.find('/'); slash != std::string::npos) text.resize(slash);
    std::replace(text.begin(), text.end(), 'D', 'E');
    char* end = nullptr;
    v = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(v);
}

// A SIP coefficient card "A_p_q" (prefix "A", "B", "AP" or "BP").
bool sipTerm(const std::string& key, const std::string& prefix, int& p, int& q) {
    if (key.size() != prefix.size() + 4 || key.compare(0, prefix.size(), prefix) != 0) return false;
    std::size_t i = prefix.size();
    if (key[i] != '_' || key[i + 2] != '_' ||
        !std::isdigit(static_cast<unsigned char>(key[i + 1])) ||
        !std::isdigit(static_cast<unsigned char>(key[i + 3])))
        return false;
    p = key[i + 1] - '0';
    q = key[i + 3] - '0';
    return true;
}

// Polynomials in (u, v) up to total degree n, coefficient of u^p v^q at [p * (n + 1) + q].
using Poly = std::vector<double>;

double evaluate(const Poly& c, int n, double u, double v) {
    double sum = 0, up = 1;
    for (int p = 0; p <= n; ++p) {
        double term = 0, vq = 1;
        for (int q = 0; q + p <= n; ++q) {
            term += c[static_cast<std::size_t>(p * (n + 1) + q)] * vq;
            vq *= v;
        }
        sum += term * up;
        up *= u;
    }
    return sum;
}

Poly multiply(const Poly& a, const Poly& b, int n) {
    Poly r(static_cast<std::size_t>((n + 1) * (n + 1)), 0.0);
    for (int p1 = 0; p1 <= n; ++p1)
        for (int q1 = 0; p1 + q1 <= n; ++q1) {
            double x = a[static_cast<std::size_t>(p1 * (n + 1) + q1)];
            if (x == 0) continue;
            for (int p2 = 0; p1 + p2 <= n; ++p2)
                for (int q2 = 0; p1 + q1 + p2 + q2 <= n; ++q2)
                    r[static_cast<std::size_t>((p1 + p2) * (n + 1) + q1 + q2)] +=
                        x * b[static_cast<std::size_t>(p2 * (n + 1) + q2)];
        }
    return r;
}

// The polynomial c(u, v) with u = a u' + b v', v = c u' + d v' substituted.
Poly substitute(const Poly& c, int n, double a, double b, double cc, double d) {
    const auto size = static_cast<std::size_t>((n + 1) * (n + 1));
    Poly lu(size, 0.0), lv(size, 0.0), one(size, 0.0);
    one[0] = 1;
    if (n >= 1) {
        lu[static_cast<std::size_t>(n + 1)] = a, lu[1] = b;
        lv[static_cast<std::size_t>(n + 1)] = cc, lv[1] = d;
    }
    std::vector<Poly> pu{one}, pv{one};
    for (int k = 1; k <= n; ++k) {
        pu.push_back(multiply(pu.back(), lu, n));
        pv.push_back(multiply(pv.back(), lv, n));
    }
    Poly r(size, 0.0);
    for (int p = 0; p <= n; ++p)
        for (int q = 0; p + q <= n; ++q) {
            double x = c[static_cast<std::size_t>(p * (n + 1) + q)];
            if (x == 0) continue;
            Poly t = multiply(pu[static_cast<std::size_t>(p)], pv[static_cast<std::size_t>(q)], n);
            for (std::size_t i = 0; i < size; ++i) r[i] += x * t[i];
        }
    return r;
}

// F'(u') = M⁻¹ F(M u') for the pair of polynomials (f, g) of order n.
void transformSip(Poly& f, Poly& g, int n, double m11, double m12, double m21, double m22) {
    if (n == 0) return;
    Poly fs = substitute(f, n, m11, m12, m21, m22);
    Poly gs = substitute(g, n, m11, m12, m21, m22);
    const double det = m11 * m22 - m12 * m21;
    const double i11 = m22 / det, i12 = -m12 / det, i21 = -m21 / det, i22 = m11 / det;
    for (std::size_t i = 0; i < fs.size(); ++i) {
        f[i] = i11 * fs[i] + i12 * gs[i];
        g[i] = i21 * fs[i] + i22 * gs[i];
    }
}

std::string card(const std::string& key, const std::string& value) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%-8.8s= %20s", key.c_str(), value.c_str());
    std::string s(buf);
    s.resize(80, ' ');
    return s;
}
std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}
std::string text(const std::string& v) {
    std::string s = "'" + v;
    while (s.size() < 9) s += ' ';
    return s + "'";
}

struct WcsDeleter {
    void operator()(wcsprm* w) const {
        wcsfree(w);
        delete w;
    }
};
using WcsPtr = std::unique_ptr<wcsprm, WcsDeleter>;

// A linear (no SIP) two-axis wcsprm of the normal form, set up.
WcsPtr makeWcs(const WorldCoordinates& w) {
    WcsPtr p(new wcsprm{});
    p->flag = -1;
    if (wcsini(1, 2, p.get()) != 0) throw Error("Die Weltkoordinaten des Bildes sind ungültig.");
    std::snprintf(p->ctype[0], 72, "%s", w.ctype1.c_str());
    std::snprintf(p->ctype[1], 72, "%s", w.ctype2.c_str());
    p->crpix[0] = w.crpix1, p->crpix[1] = w.crpix2;
    p->crval[0] = w.crval1, p->crval[1] = w.crval2;
    p->altlin |= 2;
    p->cd[0] = w.cd11, p->cd[1] = w.cd12, p->cd[2] = w.cd21, p->cd[3] = w.cd22;
    p->lonpole = w.lonpole;
    p->latpole = w.latpole;
    if (w.equinox != 0) p->equinox = w.equinox;
    if (!w.radesys.empty()) std::snprintf(p->radesys, 72, "%s", w.radesys.c_str());
    if (wcsset(p.get()) != 0) throw Error("Die Weltkoordinaten des Bildes sind ungültig.");
    return p;
}

} // namespace

bool isWcsKeyword(std::string_view k) {
    std::string key = trimmed(k);
    if (key.empty()) return false;
    static const char* const exact[] = {"EQUINOX", "EPOCH",   "RADESYS", "RADECSYS", "LONPOLE",
                                        "LATPOLE", "A_ORDER", "B_ORDER", "AP_ORDER", "BP_ORDER",
                                        "WCSAXES", "CROTA1",  "CROTA2",  "MJD-OBS"};
    for (const char* e : exact)
        if (key == e) return true;
    static const char* const prefixes[] = {"CTYPE", "CRPIX", "CRVAL", "CDELT", "CUNIT",
                                           "CD1_",  "CD2_",  "PC1_",  "PC2_",  "PV1_",
                                           "PV2_",  "A_",    "B_",    "AP_",   "BP_"};
    for (const char* p : prefixes)
        if (key.rfind(p, 0) == 0) return true;
    return false;
}

WorldCoordinates parseWcs(const std::vector<std::string>& cards) {
    WorldCoordinates out;
    if (cards.empty()) return out;
    std::string header = card("NAXIS", "2");
    int sipA = 0, sipB = 0, sipAP = 0, sipBP = 0;
    std::vector<std::pair<std::string, double>> sipCards;
    for (std::string c : cards) {
        c.resize(80, ' ');
        std::string key = keywordOf(c);
        double v = 0;
        int p = 0, q = 0;
        if (key == "A_ORDER" || key == "B_ORDER" || key == "AP_ORDER" || key == "BP_ORDER") {
            if (valueOf(c, v) && v >= 0 && v <= kMaxSipOrder) {
                int n = static_cast<int>(v);
                (key == "A_ORDER"    ? sipA
                 : key == "B_ORDER"  ? sipB
                 : key == "AP_ORDER" ? sipAP
                                     : sipBP) = n;
            }
            continue;
        }
        if (sipTerm(key, "A", p, q) || sipTerm(key, "B", p, q) || sipTerm(key, "AP", p, q) ||
            sipTerm(key, "BP", p, q)) {
            if (valueOf(c, v)) sipCards.emplace_back(key, v);
            continue;
        }
        if (key.rfind("CTYPE", 0) == 0)
            if (auto at = c.find("-SIP"); at != std::string::npos && at < 40)
                c.replace(at, 4, "    ");
        header += c;
    }
    const int nkeys = static_cast<int>(header.size() / 80);
    int nreject = 0, nwcs = 0;
    wcsprm* all = nullptr;
    if (wcspih(header.data(), nkeys, WCSHDR_all, 0, &nreject, &nwcs, &all) != 0 || nwcs < 1) {
        if (all) wcsvfree(&nwcs, &all);
        return out;
    }
    wcsprm* w = &all[0];
    // Without a scale card (CDELT or CD) the defaults of one degree per pixel would be taken,
    // and projection parameters (PV) are not carried along: both are refused rather than
    // giving wrong coordinates.
    bool scaled = false;
    for (const std::string& c : cards) {
        const std::string key = keywordOf(c.size() >= 8 ? c : c + std::string(8, ' '));
        scaled = scaled || key.rfind("CDELT", 0) == 0 || key.rfind("CD1_", 0) == 0 ||
                 key.rfind("CD2_", 0) == 0;
    }
    bool plainPv = true;
    for (int k = 0; k < w->npv; ++k) plainPv = plainPv && w->pv[k].value == 0;
    bool ok = scaled && plainPv && w->naxis == 2 && wcsset(w) == 0 && w->lng == 0 && w->lat == 1;
    if (ok) {
        out.ctype1 = trimmed(w->ctype[0]);
        out.ctype2 = trimmed(w->ctype[1]);
        out.crpix1 = w->crpix[0], out.crpix2 = w->crpix[1];
        out.crval1 = w->crval[0], out.crval2 = w->crval[1];
        // After wcsset the linear part is PC with CDELT, whatever form the cards had (CD is
        // moved into PC with unit CDELT, CROTA turned into PC).
        const double* pc = w->lin.pc;
        const double* cdelt = w->lin.cdelt;
        out.cd11 = cdelt[0] * pc[0], out.cd12 = cdelt[0] * pc[1];
        out.cd21 = cdelt[1] * pc[2], out.cd22 = cdelt[1] * pc[3];
        out.lonpole = w->lonpole;
        out.latpole = w->latpole;
        out.radesys = trimmed(w->radesys);
        out.equinox = undefined(w->equinox) ? 0 : w->equinox;
        const double det = out.cd11 * out.cd22 - out.cd12 * out.cd21;
        ok = std::isfinite(det) && det != 0 && std::isfinite(out.crpix1) &&
             std::isfinite(out.crpix2) && std::isfinite(out.crval1) && std::isfinite(out.crval2);
    }
    wcsvfree(&nwcs, &all);
    if (!ok) return {};
    try {
        out.present = true;
        SkyMapping check(out);
    } catch (const Error&) {
        return {};
    }

    // SIP: both forward polynomials of one order are needed; the inverse pair is optional.
    auto fill = [&](int n, const std::string& prefix, std::vector<double>& dst) {
        dst.assign(static_cast<std::size_t>((n + 1) * (n + 1)), 0.0);
        for (const auto& [key, v] : sipCards) {
            int p = 0, q = 0;
            if (sipTerm(key, prefix, p, q) && p + q <= n)
                dst[static_cast<std::size_t>(p * (n + 1) + q)] = v;
        }
    };
    const int n = std::max(sipA, sipB);
    if (sipA > 0 && sipB > 0) {
        out.sipOrder = n;
        fill(n, "A", out.sipA);
        fill(n, "B", out.sipB);
        const int ni = std::max(sipAP, sipBP);
        if (sipAP > 0 && sipBP > 0) {
            out.sipInverseOrder = ni;
            fill(ni, "AP", out.sipAP);
            fill(ni, "BP", out.sipBP);
        }
    }
    out.present = true;
    return out;
}

std::vector<std::string> wcsCards(const WorldCoordinates& w) {
    std::vector<std::string> c;
    if (!w.present) return c;
    const std::string sip = w.sipOrder > 0 ? "-SIP" : "";
    c.push_back(card("WCSAXES", "2"));
    c.push_back(card("CTYPE1", text(w.ctype1 + sip)));
    c.push_back(card("CTYPE2", text(w.ctype2 + sip)));
    c.push_back(card("CRPIX1", number(w.crpix1)));
    c.push_back(card("CRPIX2", number(w.crpix2)));
    c.push_back(card("CRVAL1", number(w.crval1)));
    c.push_back(card("CRVAL2", number(w.crval2)));
    c.push_back(card("CUNIT1", text("deg")));
    c.push_back(card("CUNIT2", text("deg")));
    c.push_back(card("CD1_1", number(w.cd11)));
    c.push_back(card("CD1_2", number(w.cd12)));
    c.push_back(card("CD2_1", number(w.cd21)));
    c.push_back(card("CD2_2", number(w.cd22)));
    c.push_back(card("LONPOLE", number(w.lonpole)));
    c.push_back(card("LATPOLE", number(w.latpole)));
    if (!w.radesys.empty()) c.push_back(card("RADESYS", text(w.radesys)));
    if (w.equinox != 0) c.push_back(card("EQUINOX", number(w.equinox)));
    auto poly = [&](const std::string& prefix, int n, const std::vector<double>& v) {
        c.push_back(card(prefix + "_ORDER", std::to_string(n)));
        for (int p = 0; p <= n; ++p)
            for (int q = 0; p + q <= n; ++q) {
                double x = v[static_cast<std::size_t>(p * (n + 1) + q)];
                if (x != 0)
                    c.push_back(card(prefix + "_" + std::to_string(p) + "_" + std::to_string(q),
                                     number(x)));
            }
    };
    if (w.sipOrder > 0) {
        poly("A", w.sipOrder, w.sipA);
        poly("B", w.sipOrder, w.sipB);
        if (w.sipInverseOrder > 0) {
            poly("AP", w.sipInverseOrder, w.sipAP);
            poly("BP", w.sipInverseOrder, w.sipBP);
        }
    }
    return c;
}

WorldCoordinates transformWcs(const WorldCoordinates& in, double m11, double m12, double m21,
                              double m22, double ox, double oy) {
    WorldCoordinates w = in;
    if (!w.present) return w;
    // In FITS pixels (1-based): X_old = M X_new + t with t = o + (1, 1) - M (1, 1).
    const double tx = ox + 1 - (m11 + m12), ty = oy + 1 - (m21 + m22);
    const double det = m11 * m22 - m12 * m21;
    const double dx = in.crpix1 - tx, dy = in.crpix2 - ty;
    w.crpix1 = (m22 * dx - m12 * dy) / det;
    w.crpix2 = (-m21 * dx + m11 * dy) / det;
    w.cd11 = in.cd11 * m11 + in.cd12 * m21;
    w.cd12 = in.cd11 * m12 + in.cd12 * m22;
    w.cd21 = in.cd21 * m11 + in.cd22 * m21;
    w.cd22 = in.cd21 * m12 + in.cd22 * m22;
    transformSip(w.sipA, w.sipB, w.sipOrder, m11, m12, m21, m22);
    transformSip(w.sipAP, w.sipBP, w.sipInverseOrder, m11, m12, m21, m22);
    return w;
}

struct SkyMapping::Impl {
    WcsPtr wcs;
};

SkyMapping::SkyMapping(const WorldCoordinates& wcs) : impl_(new Impl), wcs_(wcs) {
    if (!wcs.present) throw Error("Das Bild hat keine Weltkoordinaten.");
    impl_->wcs = makeWcs(wcs);
}

SkyMapping::~SkyMapping() = default;

bool SkyMapping::pixelToSky(double x, double y, double& ra, double& dec) const {
    double u = x + 1 - wcs_.crpix1, v = y + 1 - wcs_.crpix2;
    if (wcs_.sipOrder > 0) {
        const double du = evaluate(wcs_.sipA, wcs_.sipOrder, u, v);
        const double dv = evaluate(wcs_.sipB, wcs_.sipOrder, u, v);
        u += du, v += dv;
    }
    double pix[2] = {u + wcs_.crpix1, v + wcs_.crpix2}, img[2], phi, theta, world[2];
    int stat = 0;
    if (wcsp2s(impl_->wcs.get(), 1, 2, pix, img, &phi, &theta, world, &stat) != 0 || stat != 0)
        return false;
    ra = world[0], dec = world[1];
    return std::isfinite(ra) && std::isfinite(dec);
}

bool SkyMapping::skyToPixel(double ra, double dec, double& x, double& y) const {
    double world[2] = {ra, dec}, img[2], phi, theta, pix[2];
    int stat = 0;
    if (wcss2p(impl_->wcs.get(), 1, 2, world, &phi, &theta, img, pix, &stat) != 0 || stat != 0)
        return false;
    const double U = pix[0] - wcs_.crpix1, V = pix[1] - wcs_.crpix2;
    double u = U, v = V;
    if (wcs_.sipOrder > 0) {
        if (wcs_.sipInverseOrder > 0) {
            u = U + evaluate(wcs_.sipAP, wcs_.sipInverseOrder, U, V);
            v = V + evaluate(wcs_.sipBP, wcs_.sipInverseOrder, U, V);
        }
        // Fixed-point refinement of u + A(u, v) = U, v + B(u, v) = V.
        for (int i = 0; i < 50; ++i) {
            const double nu = U - evaluate(wcs_.sipA, wcs_.sipOrder, u, v);
            const double nv = V - evaluate(wcs_.sipB, wcs_.sipOrder, u, v);
            const bool done = std::abs(nu - u) < 1e-10 && std::abs(nv - v) < 1e-10;
            u = nu, v = nv;
            if (done) break;
        }
    }
    x = u + wcs_.crpix1 - 1;
    y = v + wcs_.crpix2 - 1;
    return std::isfinite(x) && std::isfinite(y);
}

namespace {
double positionAngle(double ra0, double dec0, double ra1, double dec1) {
    const double d = std::numbers::pi / 180;
    const double dra = (ra1 - ra0) * d;
    const double y = std::sin(dra) * std::cos(dec1 * d);
    const double x = std::cos(dec0 * d) * std::sin(dec1 * d) -
                     std::sin(dec0 * d) * std::cos(dec1 * d) * std::cos(dra);
    return std::atan2(y, x) / d;
}
double wrap180(double a) {
    a = std::fmod(a, 360.0);
    if (a > 180) a -= 360;
    if (a <= -180) a += 360;
    return a;
}
} // namespace

WcsSummary summarizeWcs(const WorldCoordinates& wcs, int width, int height) {
    WcsSummary s;
    if (!wcs.present) return s;
    SkyMapping m(wcs);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    m.pixelToSky(cx, cy, s.centreRa, s.centreDec);
    double upRa = 0, upDec = 0, rightRa = 0, rightDec = 0;
    m.pixelToSky(cx, cy - 1, upRa, upDec);
    m.pixelToSky(cx + 1, cy, rightRa, rightDec);
    const double up = positionAngle(s.centreRa, s.centreDec, upRa, upDec);
    const double right = positionAngle(s.centreRa, s.centreDec, rightRa, rightDec);
    s.rotation = wrap180(up);
    s.mirrored = wrap180(right - up) > 0;
    s.scaleArcsec = std::sqrt(std::abs(wcs.cd11 * wcs.cd22 - wcs.cd12 * wcs.cd21)) * 3600;
    s.fieldWidth = width * s.scaleArcsec / 3600;
    s.fieldHeight = height * s.scaleArcsec / 3600;
    return s;
}

std::string formatRa(double degrees) {
    double h = std::fmod(degrees / 15, 24.0);
    if (h < 0) h += 24;
    auto total = static_cast<long long>(std::llround(h * 360000.0)) % (24LL * 360000);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%05.2f", total / 360000, total / 6000 % 60,
                  static_cast<double>(total % 6000) / 100);
    return buf;
}

std::string formatDec(double degrees) {
    const char sign = degrees < 0 ? '-' : '+';
    auto total = static_cast<long long>(std::llround(std::abs(degrees) * 36000.0));
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%02lld:%02lld:%04.1f", sign, total / 36000, total / 600 % 60,
                  static_cast<double>(total % 600) / 10);
    return buf;
}

std::string describeWcs(const WorldCoordinates& wcs, int width, int height) {
    if (!wcs.present) return "";
    const WcsSummary s = summarizeWcs(wcs, width, height);
    std::string centre;
    if (wcs.ctype1.rfind("RA", 0) == 0) {
        centre = "RA " + formatRa(s.centreRa) + "  Dek " + formatDec(s.centreDec);
    } else {
        char c[96];
        std::snprintf(c, sizeof c, "%.4s %.5f°  %.4s %.5f°", wcs.ctype1.c_str(), s.centreRa,
                      wcs.ctype2.c_str(), s.centreDec);
        centre = c;
    }
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "Weltkoordinaten: %s/%s%s%s\n"
                  "Bildmitte: %s\n"
                  "Maßstab: %.3f\"/px  Drehung: %.2f°  Feld: %.3f° x %.3f°  Parität: %s",
                  wcs.ctype1.c_str(), wcs.ctype2.c_str(), wcs.sipOrder > 0 ? " mit SIP" : "",
                  wcs.radesys.empty() ? "" : (" (" + wcs.radesys + ")").c_str(), centre.c_str(),
                  s.scaleArcsec, s.rotation, s.fieldWidth, s.fieldHeight,
                  s.mirrored ? "gespiegelt" : "normal");
    return buf;
}

} // namespace quillon
