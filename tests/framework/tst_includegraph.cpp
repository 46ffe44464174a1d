// The framework's files include each other in one direction only: the
// application above the templates, the templates above the frames, the frames
// above the views. A header that includes one above it closes a circle, and
// this test names it.
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QtTest>

namespace {

// Unit -> the units it includes. A unit is a header and the sources named
// after it: view.h, view.cpp and view_print.cpp are the unit "view".
using Graph = QMap<QString, QSet<QString>>;

QString UnitOf(const QString& fileName)
{
    return fileName.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('_'), 0, 0);
}

Graph ReadIncludes(const QString& dirPath)
{
    const QDir dir(dirPath);
    const QStringList files = dir.entryList({QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files);
    const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"/]+)\\.h\""),
                                     QRegularExpression::MultilineOption);
    Graph graph;
    for (const QString& name : files) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString unit = UnitOf(name);
        QSet<QString>& edges = graph[unit];
        auto it = include.globalMatch(QString::fromUtf8(file.readAll()));
        while (it.hasNext()) {
            const QString target = it.next().captured(1);
            if (target != unit && dir.exists(target + QStringLiteral(".h")))
                edges.insert(target);
        }
    }
    return graph;
}

// A circle as the units along it ("a b a"), or empty when there is none.
QStringList FindCircle(const Graph& graph)
{
    enum Mark { Unseen, Open, Done };
    QMap<QString, Mark> marks;
    QStringList path;
    std::function<QStringList(const QString&)> visit = [&](const QString& unit) -> QStringList {
        marks[unit] = Open;
        path.append(unit);
        QStringList targets(graph.value(unit).cbegin(), graph.value(unit).cend());
        targets.sort();
        for (const QString& target : targets) {
            if (marks.value(target) == Open)
                return path.mid(path.indexOf(target)) << target;
            if (marks.value(target) == Unseen)
                if (QStringList circle = visit(target); !circle.isEmpty())
                    return circle;
        }
        path.removeLast();
        marks[unit] = Done;
        return {};
    };
    for (auto it = graph.cbegin(); it != graph.cend(); ++it)
        if (marks.value(it.key()) == Unseen)
            if (QStringList circle = visit(it.key()); !circle.isEmpty())
                return circle;
    return {};
}

// Every unit after the units it includes, ties in name order.
QStringList TopologicalOrder(const Graph& graph)
{
    QStringList order;
    QSet<QString> placed;
    while (order.size() < graph.size()) {
        const qsizetype nBefore = order.size();
        for (auto it = graph.cbegin(); it != graph.cend(); ++it) {
            if (placed.contains(it.key()))
                continue;
            bool bReady = true;
            for (const QString& target : it.value())
                bReady = bReady && (placed.contains(target) || !graph.contains(target));
            if (bReady) {
                order.append(it.key());
                placed.insert(it.key());
            }
        }
        if (order.size() == nBefore)
            break;   // a circle: FindCircle names it
    }
    return order;
}

Graph MakeGraph(const QStringList& edges)
{
    Graph graph;
    for (const QString& edge : edges) {
        const QString from = edge.section(QLatin1Char('>'), 0, 0);
        const QString to = edge.section(QLatin1Char('>'), 1, 1);
        graph[from].insert(to);
        graph[to];
    }
    return graph;
}

} // namespace

class TestIncludeGraph : public QObject {
    Q_OBJECT

private slots:
    void circlesAreFound_data();
    void circlesAreFound();
    void frameworkHasNoCircle();
};

void TestIncludeGraph::circlesAreFound_data()
{
    QTest::addColumn<QStringList>("edges");
    QTest::addColumn<QStringList>("circle");

    QTest::newRow("one way") << QStringList{"winapp>doctemplate", "doctemplate>view", "winapp>view"} << QStringList();
    QTest::newRow("two units") << QStringList{"view>mdichildwnd", "mdichildwnd>view"}
                               << QStringList{"mdichildwnd", "view", "mdichildwnd"};
    QTest::newRow("through others")
        << QStringList{"winapp>doctemplate", "doctemplate>mdichildwnd", "mdichildwnd>winapp", "view>document"}
        << QStringList{"doctemplate", "mdichildwnd", "winapp", "doctemplate"};
}

void TestIncludeGraph::circlesAreFound()
{
    QFETCH(QStringList, edges);
    QFETCH(QStringList, circle);
    const Graph graph = MakeGraph(edges);
    QCOMPARE(FindCircle(graph), circle);
    QCOMPARE(TopologicalOrder(graph).size() == graph.size(), circle.isEmpty());
}

void TestIncludeGraph::frameworkHasNoCircle()
{
    const Graph graph = ReadIncludes(QStringLiteral(ZORBEL_FRAMEWORK_DIR));
    QVERIFY(graph.contains(QStringLiteral("winapp")) && graph.contains(QStringLiteral("view")));
    const QStringList circle = FindCircle(graph);
    QVERIFY2(circle.isEmpty(), qPrintable(QStringLiteral("include circle: ") + circle.join(QStringLiteral(" -> "))));
    qInfo("%s", qPrintable(QStringLiteral("include order: ") + TopologicalOrder(graph).join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestIncludeGraph)
#include "tst_includegraph.moc"
