#include <QtTest>
class PrintPathBenchmark : public QObject { Q_OBJECT };
QTEST_GUILESS_MAIN(PrintPathBenchmark)
#include "bench_print_path.moc"
