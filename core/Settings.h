#pragma once

#include <QString>
#include <cstdint>

// Settings.ini in the executable's directory: four lines (quality, rate,
// keepTb quoted, cfgPort), each ended by CR LF. Reading skips every step that
// fails and leaves that field as it was; nothing is ever reported.
void ReadSettings(const QString& tempPath, int16_t& quality, int16_t& rate, QString& keepTb,
                  int16_t& cfgPort);

// Writes the four lines through a temporary file renamed over Settings.ini,
// so a failed write leaves the previous file whole. False when nothing was
// stored (callers ignore it; the program ends normally either way).
bool WriteSettings(const QString& tempPath, int16_t quality, int16_t rate, const QString& keepTb,
                   int16_t cfgPort);

QString settingsPath(const QString& tempPath);
