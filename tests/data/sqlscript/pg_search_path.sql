-- PostgreSQL database dump
CREATE SCHEMA archive;
CREATE TABLE t (x int);
SET search_path = archive, pg_catalog;
CREATE TABLE t (x int);
INSERT INTO t VALUES (1);
INSERT INTO public.t VALUES (2);
COPY t (x) FROM stdin;
3
\.
CREATE VIEW v AS SELECT t.x FROM t;
