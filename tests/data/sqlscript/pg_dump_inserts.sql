--
-- PostgreSQL database dump
--

\restrict MduVEkp1xTMC9LgFBKjctmlVzEHncrH3pmIvZWTVOHl8J09Ty4xJTyl0zcHydZe

-- Dumped from database version 15.18 (Debian 15.18-0+deb12u1)
-- Dumped by pg_dump version 15.18 (Debian 15.18-0+deb12u1)

SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

--
-- Name: sales; Type: SCHEMA; Schema: -; Owner: postgres
--

CREATE SCHEMA sales;


ALTER SCHEMA sales OWNER TO postgres;

--
-- Name: mood; Type: TYPE; Schema: public; Owner: postgres
--

CREATE TYPE public.mood AS ENUM (
    'sad',
    'ok',
    'happy'
);


ALTER TYPE public.mood OWNER TO postgres;

--
-- Name: note_count(integer); Type: FUNCTION; Schema: public; Owner: postgres
--

CREATE FUNCTION public.note_count(c integer) RETURNS bigint
    LANGUAGE sql
    AS $$ SELECT count(*) FROM notes WHERE customer_id = c; $$;


ALTER FUNCTION public.note_count(c integer) OWNER TO postgres;

SET default_tablespace = '';

SET default_table_access_method = heap;

--
-- Name: notes; Type: TABLE; Schema: public; Owner: postgres
--

CREATE TABLE public.notes (
    id bigint NOT NULL,
    customer_id integer,
    body text,
    at timestamp without time zone DEFAULT now()
);


ALTER TABLE public.notes OWNER TO postgres;

--
-- Name: notes_id_seq; Type: SEQUENCE; Schema: public; Owner: postgres
--

CREATE SEQUENCE public.notes_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1;


ALTER TABLE public.notes_id_seq OWNER TO postgres;

--
-- Name: notes_id_seq; Type: SEQUENCE OWNED BY; Schema: public; Owner: postgres
--

ALTER SEQUENCE public.notes_id_seq OWNED BY public.notes.id;


--
-- Name: customers; Type: TABLE; Schema: sales; Owner: postgres
--

CREATE TABLE sales.customers (
    id integer NOT NULL,
    name text NOT NULL,
    mood public.mood,
    tags text[],
    balance numeric(10,2) DEFAULT 0,
    joined date,
    photo bytea,
    active boolean DEFAULT true
);


ALTER TABLE sales.customers OWNER TO postgres;

--
-- Name: customers_id_seq; Type: SEQUENCE; Schema: sales; Owner: postgres
--

ALTER TABLE sales.customers ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME sales.customers_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);


--
-- Name: happy; Type: VIEW; Schema: sales; Owner: postgres
--

CREATE VIEW sales.happy AS
 SELECT customers.name
   FROM sales.customers
  WHERE (customers.mood = 'happy'::public.mood);


ALTER TABLE sales.happy OWNER TO postgres;

--
-- Name: notes id; Type: DEFAULT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.notes ALTER COLUMN id SET DEFAULT nextval('public.notes_id_seq'::regclass);


--
-- Data for Name: notes; Type: TABLE DATA; Schema: public; Owner: postgres
--

INSERT INTO public.notes VALUES (1, 1, 'first; note', '2024-01-01 10:00:00');
INSERT INTO public.notes VALUES (2, 3, 'multi
line', NULL);


--
-- Data for Name: customers; Type: TABLE DATA; Schema: sales; Owner: postgres
--

INSERT INTO sales.customers OVERRIDING SYSTEM VALUE VALUES (1, 'Ada', 'happy', '{a,b}', 12.50, '2024-01-02', '\x89504e47', true);
INSERT INTO sales.customers OVERRIDING SYSTEM VALUE VALUES (2, 'O''Brien', 'sad', NULL, -3.00, '2023-12-31', NULL, false);
INSERT INTO sales.customers OVERRIDING SYSTEM VALUE VALUES (3, 'Tab	here; and \ back', 'ok', '{}', 0.00, NULL, '\x', NULL);


--
-- Name: notes_id_seq; Type: SEQUENCE SET; Schema: public; Owner: postgres
--

SELECT pg_catalog.setval('public.notes_id_seq', 2, true);


--
-- Name: customers_id_seq; Type: SEQUENCE SET; Schema: sales; Owner: postgres
--

SELECT pg_catalog.setval('sales.customers_id_seq', 3, true);


--
-- Name: notes notes_pkey; Type: CONSTRAINT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.notes
    ADD CONSTRAINT notes_pkey PRIMARY KEY (id);


--
-- Name: customers customers_name_key; Type: CONSTRAINT; Schema: sales; Owner: postgres
--

ALTER TABLE ONLY sales.customers
    ADD CONSTRAINT customers_name_key UNIQUE (name);


--
-- Name: customers customers_pkey; Type: CONSTRAINT; Schema: sales; Owner: postgres
--

ALTER TABLE ONLY sales.customers
    ADD CONSTRAINT customers_pkey PRIMARY KEY (id);


--
-- Name: notes_body; Type: INDEX; Schema: public; Owner: postgres
--

CREATE INDEX notes_body ON public.notes USING btree (lower(body));


--
-- Name: notes notes_customer_id_fkey; Type: FK CONSTRAINT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.notes
    ADD CONSTRAINT notes_customer_id_fkey FOREIGN KEY (customer_id) REFERENCES sales.customers(id) ON DELETE CASCADE;


--
-- PostgreSQL database dump complete
--

\unrestrict MduVEkp1xTMC9LgFBKjctmlVzEHncrH3pmIvZWTVOHl8J09Ty4xJTyl0zcHydZe

