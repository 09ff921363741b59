#include "chart/chart.h"
namespace kv {
Chart::Chart(QWidget *parent) : QWidget(parent) {}
} // namespace kv
