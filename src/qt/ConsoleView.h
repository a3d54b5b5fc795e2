#pragma once

#include "ConsoleHistory.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <vector>

// A read-only view of a ConsoleHistory that draws only the rows in sight, in
// a fixed-pitch font, so that neither an append nor a repaint costs more as
// the history grows. Appends are gathered and shown once per frame, with the
// last row brought into view. Text can be selected with the mouse or the
// keyboard (Shift with the arrows, Home, End, Page Up, Page Down), copied with
// Ctrl+C and selected whole with Ctrl+A.
class ConsoleView : public QAbstractScrollArea {
    Q_OBJECT
public:
    using Position = ConsoleHistory::Position;

    explicit ConsoleView(QWidget* parent = nullptr);

    void Append(const uint8_t* bytes, size_t count, bool coloured, uint32_t colour);
    void ClearHistory(); // the history, the selection and their memory
    const ConsoleHistory& History() const { return history; }

    // A row as it is drawn: its pieces of text in their colours.
    struct ShownRun {
        QString text;
        QColor colour;
    };
    std::vector<ShownRun> ShownRow(size_t row) const;

    bool HasSelection() const { return anchor != caret; }
    QString SelectedText() const;
    void Select(Position from, Position to);
    void SelectAll();
    void CopySelection() const;

    // The rows in view after what has been appended so far is shown.
    size_t FirstVisibleRow();
    size_t VisibleRows() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ShowAppended(); // once per frame
    void UpdateScrollBars();
    void MeasureFont();
    Position PositionAt(QPoint point) const;
    Position Clamped(Position position) const;
    void MoveCaret(Position to, bool extend);
    void BringIntoView(Position position);
    QColor ColourOf(const ConsoleHistory::Run& run) const;
    qreal ColumnX(size_t column) const;

    ConsoleHistory history;
    QTimer frameTimer;
    bool appendPending = false;
    Position anchor;
    Position caret;
    bool dragging = false; // the mouse is selecting: the view stays where it is
    qreal charWidth = 8;
    int lineHeight = 16;
};
