#include "ui/RowVerdicts.h"

#include "ui/StampListBar.h"

#include <QPainter>
#include <QPixmap>

namespace {

// A round badge of `colour` with a white mark: a tick, a cross, or a tick with a star.
QIcon DrawBadge(const QColor& colour, bool tick, bool star) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawEllipse(QRectF(1, 1, 14, 14));
    painter.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (tick) {
        painter.drawPolyline(QPolygonF({QPointF(4.5, 8.5), QPointF(7, 11), QPointF(11.5, 5)}));
    } else {
        painter.drawLine(QPointF(5, 5), QPointF(11, 11));
        painter.drawLine(QPointF(11, 5), QPointF(5, 11));
    }
    if (star) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xF5, 0xC2, 0x11));
        painter.drawEllipse(QRectF(10, 0, 6, 6));
    }
    return QIcon(pixmap);
}

} // namespace

QIcon RowBadgeIcon(RowBadge badge) {
    switch (badge) {
    case RowBadge::TrustedQualified:
        return DrawBadge(QColor(0x1E, 0x7B, 0x34), true, true);
    case RowBadge::Trusted:
        return DrawBadge(QColor(0x1E, 0x7B, 0x34), true, false);
    case RowBadge::Untrusted:
        return DrawBadge(QColor(0xC6, 0x28, 0x28), false, false);
    case RowBadge::Failed:
        return DrawBadge(QColor(0x70, 0x70, 0x70), false, false);
    case RowBadge::None:
        break;
    }
    return {};
}

CRowVerdictLoader::CRowVerdictLoader(CStampListCtrl* list, std::vector<std::string> stampPaths)
    : QObject(list), m_pList(list) {
    const unsigned generation = list->RowsGeneration();
    m_worker = std::thread([this, paths = std::move(stampPaths), generation]() mutable {
        Run(std::move(paths), generation);
    });
}

CRowVerdictLoader::~CRowVerdictLoader() {
    m_bStop = true;
    if (m_worker.joinable())
        m_worker.join();
}

void CRowVerdictLoader::Run(std::vector<std::string> stampPaths, unsigned generation) {
    for (std::size_t row = 0; row < stampPaths.size() && !m_bStop.load(); ++row) {
        RowVerdict verdict = JudgeListEntry(stampPaths[row]);
        // Handed over on the window's thread, where the list lives.
        QMetaObject::invokeMethod(
            this,
            [this, row, generation, verdict = std::move(verdict)] {
                if (m_pList)
                    m_pList->SetLoadedRowVerdict(static_cast<int>(row), verdict, generation);
            },
            Qt::QueuedConnection);
    }
    m_bDone = true;
    QMetaObject::invokeMethod(
        this, [this] { emit done(); }, Qt::QueuedConnection);
}
