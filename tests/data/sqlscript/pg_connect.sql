-- PostgreSQL database dump
\connect a
CREATE TABLE public.t (x int);
INSERT INTO t VALUES (1);
\connect -reuse-previous=on "dbname='b'"
CREATE TABLE t (x int);
INSERT INTO public.t VALUES (2);
