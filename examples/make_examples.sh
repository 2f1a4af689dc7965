#!/usr/bin/env bash
# Rebuilds the bundled example database from the SQL below with the sqlite3 program.
# The result is committed, so the demo runs without this script; run it after editing.
set -euo pipefail
cd "$(dirname "$0")"

out=chinook_sample.sqlite
rm -f "$out"
sqlite3 "$out" >/dev/null <<'SQL'
PRAGMA journal_mode = DELETE;

CREATE TABLE artists (
  ArtistId INTEGER PRIMARY KEY,
  Name TEXT NOT NULL
);

CREATE TABLE albums (
  AlbumId INTEGER PRIMARY KEY,
  Title TEXT NOT NULL,
  ArtistId INTEGER NOT NULL REFERENCES artists(ArtistId),
  ReleaseYear INTEGER
);

CREATE TABLE tracks (
  TrackId INTEGER PRIMARY KEY,
  Name TEXT NOT NULL,
  AlbumId INTEGER REFERENCES albums(AlbumId),
  Composer TEXT,
  Milliseconds INTEGER NOT NULL,
  UnitPrice REAL NOT NULL DEFAULT 0.99,
  Explicit BOOLEAN NOT NULL DEFAULT 0
);

INSERT INTO artists (ArtistId, Name) VALUES
  (1, 'AC/DC'),
  (2, 'Antônio Carlos Jobim'),
  (3, 'Björk'),
  (4, 'Mötley Crüe'),
  (5, 'Sigur Rós'),
  (6, 'Céline Dion'),
  (7, 'Zoë Keating'),
  (8, 'Los Lobos');

INSERT INTO albums (AlbumId, Title, ArtistId, ReleaseYear) VALUES
  (1, 'For Those About To Rock We Salute You', 1, 1981),
  (2, 'Wave', 2, 1967),
  (3, 'Homogenic', 3, 1997),
  (4, 'Dr. Feelgood', 4, 1989),
  (5, 'Ágætis byrjun', 5, 1999),
  (6, 'D''eux', 6, 1995),
  (7, 'Into the Trees', 7, 2010),
  (8, 'La Pistola y El Corazón', 8, NULL),
  (9, 'Vespertine', 3, 2001),
  (10, 'Takk...', 5, 2005);

INSERT INTO tracks (TrackId, Name, AlbumId, Composer, Milliseconds, UnitPrice, Explicit) VALUES
  (1, 'For Those About To Rock (We Salute You)', 1, 'Angus Young, Malcolm Young, Brian Johnson', 343719, 0.99, 0),
  (2, 'Put The Finger On You', 1, 'Angus Young, Malcolm Young, Brian Johnson', 205662, 0.99, 0),
  (3, 'Let''s Get It Up', 1, 'Angus Young, Malcolm Young, Brian Johnson', 233926, 0.99, 0),
  (4, 'Wave', 2, 'Antônio Carlos Jobim', 174000, 0.99, 0),
  (5, 'The Red Blouse', 2, 'Antônio Carlos Jobim', 312000, 0.99, 0),
  (6, 'Look To The Sky', 2, NULL, 143000, 0.99, 0),
  (7, 'Hunter', 3, 'Björk', 255000, 1.29, 0),
  (8, 'Jóga', 3, 'Björk, Sjón', 305000, 1.29, 0),
  (9, 'Bachelorette', 3, 'Björk, Sjón', 312000, 1.29, 0),
  (10, 'Kickstart My Heart', 4, 'Nikki Sixx', 282000, 0.99, 1),
  (11, 'Dr. Feelgood', 4, 'Nikki Sixx, Mick Mars', 290000, 0.99, 1),
  (12, 'Svefn-g-englar', 5, 'Sigur Rós', 604000, 1.29, 0),
  (13, 'Starálfur', 5, 'Sigur Rós', 407000, 1.29, 0),
  (14, 'Pour que tu m''aimes encore', 6, 'Jean-Jacques Goldman', 254000, 0.99, 0),
  (15, 'Destin', 6, 'Jean-Jacques Goldman', 251000, 0.99, 0),
  (16, 'Seven Days', 7, 'Zoë Keating', 380000, 0.89, 0),
  (17, 'Optimist', 7, 'Zoë Keating', 337000, 0.89, 0),
  (18, 'Ángel Para Un Final', 8, NULL, 198000, 0.99, 0),
  (19, 'Cosmogony', NULL, 'Björk', 300000, 1.29, 0),
  (20, 'Pagan Poetry', 9, 'Björk', 314000, 1.29, 0),
  (21, 'Hidden Place', 9, 'Björk', 328000, 1.29, 0),
  (22, 'Glósóli', 10, 'Sigur Rós', 375000, 1.29, 0),
  (23, 'Hoppípolla', 10, 'Sigur Rós', 268000, 1.29, 0),
  (24, 'Sæglópur', 10, 'Sigur Rós', 461000, 1.29, 0);

CREATE VIEW summary_by_album AS
  SELECT albums.Title AS Album,
         artists.Name AS Artist,
         COUNT(tracks.TrackId) AS Tracks,
         ROUND(SUM(tracks.Milliseconds) / 60000.0, 1) AS Minutes
  FROM albums
  JOIN artists ON artists.ArtistId = albums.ArtistId
  LEFT JOIN tracks ON tracks.AlbumId = albums.AlbumId
  GROUP BY albums.AlbumId;

VACUUM;
SQL
echo "wrote examples/$out" >&2
