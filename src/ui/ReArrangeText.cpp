#include "ui/ReArrangeText.h"

#include "platform/Trace.h"

namespace {

// A cut inside a surrogate pair would leave half a character.
qsizetype WholeCharacters(const QString& text, qsizetype n) {
    if (n > 0 && n < text.size() && text[n].isLowSurrogate()) return n == 1 ? 2 : n - 1;
    return n;
}

}  // namespace

QString ReArrangeText(const QFontMetrics& metrics, const QString& text, int width) {
    try {
        const qsizetype n = text.size();
        if (n == 0 || metrics.horizontalAdvance(text) < width) return text;
        // Drawn widths grow with the prefix, so the longest fitting one is found by bisection.
        qsizetype lo = 1, hi = n - 1;  // lo: the answer when nothing fits
        while (lo < hi) {
            const qsizetype mid = (lo + hi + 1) / 2;
            if (metrics.horizontalAdvance(text.left(mid)) < width) lo = mid;
            else hi = mid - 1;
        }
        const qsizetype cut = WholeCharacters(text, lo > 3 ? lo - 3 : 1);
        return text.left(cut) + QStringLiteral("...");
    } catch (...) {
        platform::Trace("Exception in ReArrangeText\n");
        return text;
    }
}
