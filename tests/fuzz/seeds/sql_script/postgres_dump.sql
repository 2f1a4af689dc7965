--
-- PostgreSQL database dump
--
SET statement_timeout = 0;
SELECT pg_catalog.set_config('search_path', '', false);
\restrict abc
CREATE SCHEMA app;
CREATE FUNCTION public.f() RETURNS trigger LANGUAGE plpgsql AS $_$ BEGIN RETURN $1; END; $_$;
CREATE TABLE public.t (
    id integer DEFAULT nextval('public.t_id_seq'::regclass) NOT NULL,
    created timestamp(6) without time zone DEFAULT now(),
    tags character varying(20)[],
    data bytea,
    ok boolean
);
ALTER TABLE public.t OWNER TO me;
COPY public.t (id, created, tags, data, ok) FROM stdin;
1	2024-01-01 00:00:00	{a,b}	\\x0102	t
2	\N	\N	\\x	f
\.
INSERT INTO "public"."t" (id) OVERRIDING SYSTEM VALUE VALUES (3), (E'a\nb\303\251'::int);
CREATE INDEX i ON ONLY public.t USING btree (id);
