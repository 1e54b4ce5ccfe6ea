#include "DemoCatalogue.h"

namespace DemoCatalogue {

const QList<DemoRow> &rows()
{
    static const QList<DemoRow> table = {
        // Initial value problems
        {0, "Heat-ivp", "Heat Transfer on a slab", "01", "RKF45"},
        {0, "Beam", "Cantilever beam", "11", "NEWTON/RK4"},
        {0, "1d-Kelvara", "1-D Heat Transfer 4 General case", "01", "RKF45"},
        {0, "2d-Kelvara", "2-D Heat Transfer 4 General case", "01", "RKF45"},
        {0, "3d-Kelvara", "3-D Heat Transfer 4 General case", "01", "EULER"},
        // Boundary value problems
        {1, "Heat-bvp", "Heat Transfer on a slab", "11", "NEWTON/RKF45"},
        {1, "3d-Kelvara-BVP", "3-D Heat Transfer BVP", "11", "BROYDEN/EULER"},
        {1, "Heat-Fin", "Heat Transfer in a tapered fin", "11", "NEWTON/RK4"},
        // Inverse problems
        {2, "Heat-ip", "Heat Transfer on a slab", "11", "LSQ/RKF45"},
        {2, "Pharm-IP", "Know decay time, need right parameters to get there!", "11", "LSQ/ADAMS"},
        {2, "Pharm-Alg", "same idea as 'Pharm-IP' but w/o ODEs", "10", "LSQ"},
        // Solvers: the Find guide, one variant of the hillside corral per optimizer,
        // the Initiate guide and the integration demos
        {3, "^FIND-stmt", "Solver Guide", "00", ""},
        {3, "hb1sumt", "Hillside Corral...Sequential unconstrained minimization", "10", "SUMT"},
        {3, "hb1scp", "Hillside Corral...Sequential convex programming", "10", "SCP"},
        {3, "hb1alm", "Hillside Corral...Augmented lagrange multiplier method", "10", "ALM"},
        {3, "hb1mmfd", "Hillside Corral...Modified method of feasible directions", "10", "MMFD"},
        {3, "hb1sqp", "Hillside Corral...Sequential quadratic programming", "10", "SQP"},
        {3, "hb1mfd", "Hillside Corral...Method of feasible directions", "10", "MFD"},
        {3, "hb1nms", "Hillside Corral...", "10", "SIMPLEX"},
        {3, "hb1hj", "Hillside Corral...", "10", "PATTERN"},
        {3, "hb1slp", "Hillside Corral...Sequential linear programming", "10", "SLP"},
        {3, "hb1grg", "Hillside Corral...", "10", "GRG"},
        {3, "hb1bfgs", "Hillside Corral...", "10", "BFGS"},
        {3, "^Initiate-stmt", "Integration Guide", "00", "Integration Guide"},
        {3, "Shell", "Shell projectile", "01", "RKF45"},
        {3, "EjectSim", "Pilot Ejection Simulation", "01", "RK4"},
        {3, "ImpDEs", "Implicit Differential Equations", "11", "DAE"},
        {3, "StiffDE", "A Stiff Differential Equation", "01", "GEAR"},
        {3, "Pursuit", "Missile pursuit problem", "01", "ADAMS"},
        // Templates
        {4, "readRit", "Plot example ... Complete Application", "10", "RKF45"},
        {4, "Algebra", "Algebra problem", "00", ""},
        {4, "BVP", "Boundary-Value-Problem", "00", ""},
        {4, "fitExam", "Complete Application", "10", "LSQ"},
        {4, "IVP", "Initial-Value-Problem", "00", ""},
        {4, "PDE-ivp", "Burgers' 1D PDE problem using 'Method of Lines'", "01", "RKF45"},
        {4, "^FIND-stmt", "Solver Guide", "00", ""},
        {4, "^Initiate-stmt", "Integration Guide", "00", ""},
    };
    return table;
}

bool isGuide(const QString &filename)
{
    return filename == QLatin1String("^FIND-stmt") || filename == QLatin1String("^Initiate-stmt");
}

QString fileNameOf(const QString &filename)
{
    return filename + (isGuide(filename) ? QStringLiteral(".txt") : QStringLiteral(".ty"));
}

QStringList distinctFileNames()
{
    QStringList names;
    for (const DemoRow &row : rows()) {
        const QString name = fileNameOf(row.filename);
        if (!names.contains(name))
            names << name;
    }
    return names;
}

} // namespace DemoCatalogue
