/* The companies table of the accounting suite's administration database, with the
   suite's own columns only; the scheduling columns are added by the catalogue upgrade. */
CREATE TABLE EMPRESAS (
  EMPRESAID  INTEGER NOT NULL PRIMARY KEY,
  CODIGO     VARCHAR(10),
  NOMBRE     VARCHAR(100),
  NIT        VARCHAR(20),
  ANOFIS     CHAR(4),
  ULTPERIODO SMALLINT,
  ARCHIVO    VARCHAR(255),
  CONSOLIDA  CHAR(1),
  RUTALOGO   VARCHAR(255)
);
COMMIT;
