#pragma once
#include <QWidget>
namespace kv {
// Placeholder until the chart component lands.
class Chart : public QWidget {
    Q_OBJECT
public:
    explicit Chart(QWidget *parent = nullptr);
};
} // namespace kv
