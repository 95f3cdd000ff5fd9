#pragma once

#include <QString>
#include <QStringList>

// The device setup of the simulated laboratory: the ports that tavlo-sim serves with the
// controllers the device search finds on them, the adapter with the Keithley 2000, the
// flow server's controllers and the analyser.
// One string per tree node: as many tabs as its level, then its text.
QStringList SimLabSetupLines();

// The setup's ID: the ELF hash of all node texts in tree order, in decimal.
QString SimLabSetupID();

// Writes DIR/Device Setups/simlab.tdq (Windows-1252, CR LF); false (and error) on failure.
bool WriteSimLabSetup(const QString& dataFolder, QString* setupId = nullptr,
                      QString* error = nullptr);
