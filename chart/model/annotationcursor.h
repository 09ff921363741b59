#pragma once
// The annotation tool and numbering that all graph windows share: a note
// placed in one graph advances the index the next note takes in any graph,
// and a tool chosen in one window is the tool of every window (each shows it
// on its buttons and pointer).  Annotations themselves belong to the chart
// they are placed on.

#include <QObject>

namespace kv {

// What a click on a chart does.  Text and Cross equal the annotation type
// the tool creates (text alone, a cross).
enum class AnnotationTool { Normal = -99, Text = 0, Cross = 2 };

class AnnotationCursor : public QObject {
    Q_OBJECT
public:
    // Index 2 holds the data-point marker; user annotations start at 4.
    static constexpr int DataPointMarkerIndex = 2;
    static constexpr int NoUserAnnotation = 3;

    using QObject::QObject;

    AnnotationTool tool() const { return m_tool; }
    void setTool(AnnotationTool tool)
    {
        if (tool == m_tool)
            return;
        m_tool = tool;
        emit toolChanged(tool);
    }

    // Index of the last annotation placed by the user (3: none yet).
    int lastIndex() const { return m_lastIndex; }
    // Index for a new annotation; it becomes the last one.
    int takeNextIndex() { return ++m_lastIndex; }
    // After the user's annotations of a graph were cleared.
    void restartNumbering() { m_lastIndex = NoUserAnnotation; }

signals:
    void toolChanged(kv::AnnotationTool tool);

private:
    AnnotationTool m_tool = AnnotationTool::Normal;
    int m_lastIndex = NoUserAnnotation;
};

} // namespace kv
